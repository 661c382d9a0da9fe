#include "system_audio/coreaudio/output_processes.h"

#include <unistd.h>

#include <vector>

#include "system_audio/apple/core_audio.h"
#include "system_audio/coreaudio/hal_properties.h"

namespace system_audio {
namespace {

// Room for processes that join between the size and the list.
constexpr UInt32 kSpareProcesses = 8;

AudioObjectPropertyAddress global(AudioObjectPropertySelector selector) {
  return {selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
}

std::vector<AudioObjectID> process_objects() {
  const AudioObjectPropertyAddress address = global(kAudioHardwarePropertyProcessObjectList);
  UInt32 size = 0;
  if (AudioObjectGetPropertyDataSize(kAudioObjectSystemObject, &address, 0, nullptr, &size) != 0) {
    return {};
  }
  std::vector<AudioObjectID> processes(size / sizeof(AudioObjectID) + kSpareProcesses);
  size = UInt32(processes.size() * sizeof(AudioObjectID));
  if (AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, &size,
                                 processes.data()) != 0) {
    return {};
  }
  processes.resize(size / sizeof(AudioObjectID));
  return processes;
}

}  // namespace

bool other_process_runs_output() {
  const pid_t own = ::getpid();
  for (const AudioObjectID process : process_objects()) {
    pid_t pid = 0;
    UInt32 size = sizeof pid;
    const AudioObjectPropertyAddress address = global(kAudioProcessPropertyPID);
    // A process that went meanwhile no longer answers: it plays nothing.
    if (AudioObjectGetPropertyData(process, &address, 0, nullptr, &size, &pid) != 0 ||
        size != sizeof pid || pid == own) {
      continue;
    }
    if (read_u32(process, kAudioProcessPropertyIsRunningOutput).value_or(0) != 0) return true;
  }
  return false;
}

}  // namespace system_audio
