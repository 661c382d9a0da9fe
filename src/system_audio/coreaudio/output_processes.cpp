#include "system_audio/coreaudio/output_processes.h"

#include <unistd.h>

#include <vector>

#include "system_audio/apple/core_audio.h"
#include "system_audio/coreaudio/hal_properties.h"

namespace system_audio {
namespace {

// Room for processes that join between the size and the list.
constexpr UInt32 kSpareProcesses = 8;

std::vector<AudioObjectID> process_objects() {
  const AudioObjectPropertyAddress address{kAudioHardwarePropertyProcessObjectList,
                                           kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
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
    // A process that went meanwhile no longer answers: it plays nothing.
    const auto pid = read_u32(process, kAudioProcessPropertyPID);
    if (!pid || pid_t(*pid) == own) continue;
    if (read_u32(process, kAudioProcessPropertyIsRunningOutput).value_or(0) != 0) return true;
  }
  return false;
}

}  // namespace system_audio
