// The scripted HAL: results from the script, every call in one log.

#include "fake_platform.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "system_audio/platform/standin/runtime.h"

namespace system_audio::fake {
namespace {

struct IoProc {
  int number = 0;
  AudioObjectID device = 0;
  dispatch_queue_t queue = nullptr;     // one reference held while registered
  AudioDeviceIOBlock block = nullptr;  // one reference held while registered
  bool started = false;
  bool destroyed = false;
  std::mutex call;  // held while the block runs; destroy waits for it
};

struct State {
  std::mutex mutex;
  Script script;
  std::vector<std::string> log;
  std::map<std::string, int> call_counts;
  std::vector<std::string> hal_faults;
  std::vector<AudioObjectID> taps, aggregates;
  std::vector<std::shared_ptr<IoProc>> io_procs;
  int next_io_proc = 1;
  Passed passed;
  std::function<void(const std::string&)> observer;
  std::size_t in_flight = 0;
  std::condition_variable delivered;
};

State& state() {
  // Never destroyed: queue workers may still report while the program exits.
  static State* const fake = new State();
  return *fake;
}

void add_log(std::string line) {
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard lock(state().mutex);
    observer = state().observer;
    state().log.push_back(line);
  }
  if (observer) observer(line);
}

std::string code(UInt32 value) {
  std::string text = "'";
  for (int shift = 24; shift >= 0; shift -= 8) text += char((value >> shift) & 0xFF);
  return text + "'";
}

std::string name_of(AudioDeviceIOProcID id) {
  return id ? "IOProc#" + std::to_string(reinterpret_cast<IoProc*>(id)->number) : "NULL";
}

template <class T>
OSStatus write(OSStatus status, const T& value, UInt32 written, UInt32* size, void* data) {
  if (status != 0) return status;
  if (*size < written) return kAudioHardwareBadPropertySizeError;
  std::memcpy(data, &value, std::min<std::size_t>(written, sizeof value));
  *size = written;
  return 0;
}

OSStatus write_uid(OSStatus status, const std::optional<std::u16string>& uid, UInt32* size,
                   void* data) {
  if (status != 0 || *size < sizeof(CFStringRef)) return write(status, 0, 8, size, data);
  const CFStringRef string = uid ? standin::make_cfstring_utf16(*uid) : nullptr;
  return write(0, string, sizeof string, size, data);
}

bool on_call(std::string_view function, std::string_view arguments) {
  add_log(std::string(function) + "(" + std::string(arguments) + ")");
  State& fake = state();
  std::lock_guard lock(fake.mutex);
  const std::string name(function);
  const std::string nth = name + "#" + std::to_string(++fake.call_counts[name]);
  const auto& failing = fake.script.failing_calls;
  return std::find_if(failing.begin(), failing.end(), [&](const std::string& entry) {
           return entry == name || entry == nth;
         }) == failing.end();
}

void retire(const std::shared_ptr<IoProc>& proc) {
  {
    std::lock_guard lock(state().mutex);
    proc->destroyed = true;
  }
  // As the HAL: no return while the block runs, unless called from the block.
  if (standin::current_queue() != proc->queue) std::lock_guard wait(proc->call);
  standin::release(proc->block, "internal");
  standin::release(proc->queue, "internal");
}

}  // namespace

Script& install() {
  uninstall();
  standin::set_call_hook(&on_call);
  return state().script;
}

void uninstall() {
  wait_until_delivered();
  standin::set_call_hook(nullptr);
  std::vector<std::shared_ptr<IoProc>> procs;
  {
    std::lock_guard lock(state().mutex);
    procs = std::move(state().io_procs);
  }
  for (const auto& proc : procs) retire(proc);
  std::lock_guard lock(state().mutex);
  State& fake = state();
  fake.script = {};
  fake.log.clear();
  fake.call_counts.clear();
  fake.hal_faults.clear();
  fake.taps.clear();
  fake.aggregates.clear();
  fake.next_io_proc = 1;
  fake.passed = {};
  fake.observer = nullptr;
  standin::reset_ledger();
}

void set_observer(std::function<void(const std::string& line)> observer) {
  std::lock_guard lock(state().mutex);
  state().observer = std::move(observer);
}

std::vector<std::string> log() {
  std::lock_guard lock(state().mutex);
  return state().log;
}

std::vector<std::string> log_lines(const std::vector<std::string>& prefixes,
                                   const std::string& from) {
  std::vector<std::string> lines;
  bool seen = from.empty();
  for (const std::string& line : log()) {
    seen = seen || line.starts_with(from);
    if (seen && std::any_of(prefixes.begin(), prefixes.end(),
                            [&](const std::string& p) { return line.starts_with(p); })) {
      lines.push_back(line);
    }
  }
  return lines;
}

Passed passed() {
  std::lock_guard lock(state().mutex);
  return state().passed;
}

std::vector<std::string> leftovers() {
  std::vector<std::string> left;
  {
    std::lock_guard lock(state().mutex);
    State& fake = state();
    for (AudioObjectID tap : fake.taps) left.push_back("tap " + std::to_string(tap));
    for (AudioObjectID device : fake.aggregates) {
      left.push_back("aggregate device " + std::to_string(device));
    }
    for (const auto& proc : fake.io_procs) {
      if (!proc->destroyed) left.push_back("IOProc#" + std::to_string(proc->number));
    }
    left.insert(left.end(), fake.hal_faults.begin(), fake.hal_faults.end());
  }
  for (const auto& object : standin::live_objects()) left.push_back(object.description);
  for (const auto& fault : standin::faults()) left.push_back(fault);
  return left;
}

bool deliver_io_cycle(const std::vector<std::vector<float>>& buffers, UInt32 channels) {
  std::shared_ptr<IoProc> proc;
  {
    std::lock_guard lock(state().mutex);
    for (const auto& candidate : state().io_procs) {
      if (candidate->started && !candidate->destroyed) proc = candidate;
    }
    if (!proc) return false;
    ++state().in_flight;
  }
  standin::dispatch_async(proc->queue, [proc, channels, samples = buffers] {
    auto copy = samples;
    std::vector<std::byte> storage(offsetof(AudioBufferList, mBuffers) +
                                   std::max<std::size_t>(1, copy.size()) * sizeof(AudioBuffer));
    auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
    list->mNumberBuffers = UInt32(copy.size());
    for (std::size_t i = 0; i < copy.size(); ++i) {
      AudioBuffer* buffer = list->mBuffers + i;
      *buffer = {channels, UInt32(copy[i].size() * sizeof(float)), copy[i].data()};
    }
    AudioBufferList output{1, {{1, 0, nullptr}}};
    {
      std::lock_guard call(proc->call);
      bool run = false;
      {
        std::lock_guard lock(state().mutex);
        run = !proc->destroyed;
      }
      if (run) {
        standin::invoke_block<platform::AudioDeviceIOBlockInvoke>(proc->block, nullptr, list,
                                                                 nullptr, &output, nullptr);
      }
    }
    std::lock_guard lock(state().mutex);
    if (output.mBuffers[0].mDataByteSize != 0 || output.mBuffers[0].mData != nullptr) {
      state().hal_faults.push_back(name_of(reinterpret_cast<AudioDeviceIOProcID>(proc.get())) +
                                   " wrote into the output buffer list");
    }
    if (--state().in_flight == 0) state().delivered.notify_all();
  });
  return true;
}

void wait_until_delivered() {
  std::unique_lock lock(state().mutex);
  state().delivered.wait(lock, [] { return state().in_flight == 0; });
}

}  // namespace system_audio::fake

using namespace system_audio;
using fake::state;

OSStatus AudioObjectGetPropertyData(AudioObjectID object, const AudioObjectPropertyAddress* address,
                                    UInt32 qualifier_size, const void*, UInt32* size, void* data) {
  fake::add_log("AudioObjectGetPropertyData(" + std::to_string(object) + ", " +
                fake::code(address->mSelector) + ", " + fake::code(address->mScope) + ", " +
                std::to_string(address->mElement) + ", " + std::to_string(*size) +
                (qualifier_size ? ", qualifier)" : ")"));
  std::lock_guard lock(state().mutex);
  const fake::Script& script = state().script;
  const bool tap = std::ranges::count(state().taps, object) > 0;
  const UInt32 selector = address->mSelector;
  if (object == kAudioObjectSystemObject && selector == kAudioHardwarePropertyDefaultOutputDevice) {
    return fake::write(script.default_device_status, script.default_device, 4, size, data);
  }
  if (object == script.default_device && selector == kAudioDevicePropertyDeviceUID) {
    return fake::write_uid(script.device_uid_status, script.device_uid, size, data);
  }
  if (tap && selector == kAudioTapPropertyFormat) {
    return fake::write(script.tap_format_status, script.tap_format, script.tap_format_size, size,
                       data);
  }
  if (tap && selector == kAudioTapPropertyUID) {
    return fake::write_uid(script.tap_uid_status, script.tap_uid, size, data);
  }
  return kAudioHardwareUnknownPropertyError;
}

OSStatus system_audio::platform::AudioHardwareCreateProcessTap(CATapDescription* description,
                                                               AudioObjectID* tap) {
  fake::add_log("AudioHardwareCreateProcessTap(" + standin::describe(description) + ")");
  const std::string content = standin::content(description);
  std::lock_guard lock(state().mutex);
  state().passed.tap_description = content;
  if (state().script.create_tap_status != 0) return state().script.create_tap_status;
  *tap = state().script.tap_id;
  state().taps.push_back(*tap);
  return 0;
}

OSStatus system_audio::platform::AudioHardwareDestroyProcessTap(AudioObjectID tap) {
  fake::add_log("AudioHardwareDestroyProcessTap(" + std::to_string(tap) + ")");
  std::lock_guard lock(state().mutex);
  for (AudioObjectID device : state().aggregates) {
    state().hal_faults.push_back("tap " + std::to_string(tap) + " destroyed while aggregate " +
                                 std::to_string(device) + " uses it");
  }
  return std::erase(state().taps, tap) ? 0 : kAudioHardwareBadObjectError;
}

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef description, AudioObjectID* device) {
  fake::add_log("AudioHardwareCreateAggregateDevice(" + standin::describe(description) + ")");
  const std::string content = standin::content(description);
  std::lock_guard lock(state().mutex);
  state().passed.aggregate_description = content;
  if (state().script.create_aggregate_status != 0) return state().script.create_aggregate_status;
  *device = state().script.aggregate_id;
  state().aggregates.push_back(*device);
  return 0;
}

OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID device) {
  fake::add_log("AudioHardwareDestroyAggregateDevice(" + std::to_string(device) + ")");
  std::lock_guard lock(state().mutex);
  for (const auto& proc : state().io_procs) {
    if (proc->device == device && !proc->destroyed) {
      state().hal_faults.push_back("aggregate " + std::to_string(device) +
                                   " destroyed while IOProc#" + std::to_string(proc->number) +
                                   " is registered");
    }
  }
  return std::erase(state().aggregates, device) ? 0 : kAudioHardwareBadDeviceError;
}

OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* id, AudioObjectID device,
                                            dispatch_queue_t queue, AudioDeviceIOBlock block) {
  fake::add_log("AudioDeviceCreateIOProcIDWithBlock(" + std::to_string(device) + ", " +
                standin::describe(queue) + ", " + standin::describe(block) + ")");
  std::lock_guard lock(state().mutex);
  state().passed.queue_label = standin::queue_label(queue).value_or("");
  if (state().script.create_io_proc_status != 0) return state().script.create_io_proc_status;
  auto proc = std::make_shared<fake::IoProc>();
  proc->number = state().next_io_proc++;
  proc->device = device;
  proc->queue = queue;
  proc->block = block;
  standin::retain(queue, "internal");
  standin::retain(block, "internal");
  *id = reinterpret_cast<AudioDeviceIOProcID>(proc.get());
  state().io_procs.push_back(std::move(proc));
  return 0;
}

OSStatus AudioDeviceDestroyIOProcID(AudioObjectID device, AudioDeviceIOProcID id) {
  fake::add_log("AudioDeviceDestroyIOProcID(" + std::to_string(device) + ", " + fake::name_of(id) +
                ")");
  std::shared_ptr<fake::IoProc> proc;
  {
    std::lock_guard lock(state().mutex);
    auto& procs = state().io_procs;
    const auto found = std::find_if(procs.begin(), procs.end(),
                                    [&](const auto& p) { return p.get() == (void*)id; });
    if (found == procs.end()) return kAudioHardwareBadObjectError;
    proc = *found;
    procs.erase(found);
  }
  fake::retire(proc);
  return 0;
}

OSStatus AudioDeviceStart(AudioObjectID device, AudioDeviceIOProcID id) {
  fake::add_log("AudioDeviceStart(" + std::to_string(device) + ", " + fake::name_of(id) + ")");
  std::lock_guard lock(state().mutex);
  if (state().script.start_status != 0) return state().script.start_status;
  for (const auto& proc : state().io_procs) {
    if (proc.get() == (void*)id) proc->started = true;
  }
  return 0;
}
