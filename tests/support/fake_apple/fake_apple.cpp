// The scripted HAL: results from the script, every call in one log.

#include "fake_apple.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "system_audio/apple/standin/objects.h"

namespace system_audio::fake {
namespace {

struct IoProc {
  int number;
  dispatch_queue_t queue;    // one reference held while registered
  AudioDeviceIOBlock block;  // one reference held while registered
  bool started = false;
  bool destroyed = false;
  std::mutex call;  // held while the block runs; destroy waits for it
};

// Added and not yet removed. The block and queue are the backend's, which
// must keep them until the removal.
struct Listener {
  AudioObjectID object;
  AudioObjectPropertySelector selector;
  dispatch_queue_t queue;
  AudioObjectPropertyListenerBlock block;
  bool operator==(const Listener&) const = default;
};

// What install() starts afresh.
struct Run {
  bool installed = false;
  Script script;
  std::vector<std::string> log;
  std::map<std::string, int> call_counts;
  std::vector<AudioObjectID> taps, aggregates;
  std::vector<std::shared_ptr<IoProc>> io_procs;
  std::vector<Listener> listeners;
  int next_io_proc = 1;
  std::function<void(const std::string&)> observer;
};

struct State {
  std::mutex mutex;
  Run run;
  std::size_t in_flight = 0;  // blocks and listener calls queued, not yet run
  std::condition_variable delivered;
};

State& state() {
  // Never destroyed: queue workers may still report while the program exits.
  static State* const fake = new State();
  return *fake;
}

template <class Action>
auto locked(Action action) {
  std::lock_guard lock(state().mutex);
  return action(state().run);
}

void add_log(const std::string& line) {
  auto observer = locked([&](Run& run) {
    run.log.push_back(line);
    return run.observer;
  });
  if (observer) observer(line);
}

void done_one() {
  std::lock_guard lock(state().mutex);
  if (--state().in_flight == 0) state().delivered.notify_all();
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

// The HAL hands strings out with one reference for the caller.
OSStatus write_uid(OSStatus status, const std::optional<std::u16string>& uid, UInt32* size,
                   void* data) {
  if (status != 0 || *size < sizeof(CFStringRef)) return write(status, 0, 8, size, data);
  const void* made = uid ? standin::make_string(*uid, false) : nullptr;
  return write(0, static_cast<CFStringRef>(made), 8, size, data);
}

void retire(const std::shared_ptr<IoProc>& proc) {
  locked([&](Run&) { proc->destroyed = true; });
  // As the HAL: no return while the block runs, unless called from the block.
  if (standin::current_queue() != proc->queue) std::lock_guard wait(proc->call);
  standin::release(proc->block);
  standin::release(proc->queue);
}

}  // namespace

bool answer_call(std::string_view function, const std::string& line) {
  if (!locked([](Run& run) { return run.installed; })) return true;
  add_log(line);
  return locked([&](Run& run) {
    const std::string name(function), nth = name + "#" + std::to_string(++run.call_counts[name]);
    return std::ranges::count(run.script.failing_calls, name) +
               std::ranges::count(run.script.failing_calls, nth) ==
           0;
  });
}

Script& install() {
  uninstall();
  watch_runtime();
  locked([](Run& run) { run.installed = true; });
  return state().run.script;
}

void uninstall() {
  wait_until_delivered();
  for (const auto& proc : locked([](Run& run) { return std::move(run.io_procs); })) retire(proc);
  locked([](Run& run) { run = {}; });
  forget_objects();
}

void set_observer(std::function<void(const std::string& line)> observer) {
  locked([&](Run& run) { run.observer = std::move(observer); });
}

std::vector<std::string> log() {
  return locked([](Run& run) { return run.log; });
}

std::vector<std::string> leftovers() {
  std::vector<std::string> left = locked([](Run& run) {
    std::vector<std::string> hal;
    for (AudioObjectID tap : run.taps) hal.push_back("tap " + std::to_string(tap));
    for (AudioObjectID id : run.aggregates) hal.push_back("aggregate device " + std::to_string(id));
    for (const auto& proc : run.io_procs) hal.push_back(name_of(AudioDeviceIOProcID(proc.get())));
    return hal;
  });
  for (auto* more : {&live_objects, &faults}) {
    for (auto& text : more()) left.push_back(std::move(text));
  }
  return left;
}

bool deliver_block(Buffers buffers, UInt32 channels, std::function<void(Buffers&)> at_call) {
  const std::shared_ptr<IoProc> proc = locked([](Run& run) {
    const auto started = std::ranges::find_if(run.io_procs, [](auto& p) { return p->started; });
    ++state().in_flight;
    return started == run.io_procs.end() ? nullptr : *started;
  });
  if (!proc) {
    done_one();
    return false;
  }
  const auto inputs = locked([](Run& run) { return run.script.device_inputs; });
  standin::dispatch_async(proc->queue, [=, copy = std::move(buffers)]() mutable {
    if (at_call) at_call(copy);
    const std::size_t frames = copy.empty() ? 0 : copy.front().size() / channels;
    Buffers microphones;
    for (UInt32 count : inputs) microphones.emplace_back(frames * count, kMicrophone);
    // The list as the HAL lays it out: mNumberBuffers records in a row.
    std::vector<AudioBuffer> records(inputs.size() + copy.size() + 1);
    auto* list = reinterpret_cast<AudioBufferList*>(records.data());
    list->mNumberBuffers = UInt32(inputs.size() + copy.size());
    AudioBuffer* buffer = list->mBuffers;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      *buffer++ = {inputs[i], UInt32(microphones[i].size() * 4), microphones[i].data()};
    }
    for (auto& samples : copy) *buffer++ = {channels, UInt32(samples.size() * 4), samples.data()};
    AudioBufferList output{1, {{1, 0, nullptr}}};  // the block's to leave alone
    {
      std::lock_guard call(proc->call);
      if (!locked([&](Run&) { return proc->destroyed; })) {
        standin::invoke_block<apple::AudioDeviceIOBlockInvoke>(proc->block, nullptr, list, nullptr,
                                                               &output, nullptr);
      }
    }
    done_one();
  });
  return true;
}

int change_property(AudioObjectID object, AudioObjectPropertySelector selector) {
  return locked([&](Run& run) {
    int called = 0;
    for (const Listener& listener : run.listeners) {
      if (listener.object != object || listener.selector != selector) continue;
      ++state().in_flight, ++called;
      standin::dispatch_async(listener.queue, [listener] {
        const AudioObjectPropertyAddress address{listener.selector, kAudioObjectPropertyScopeGlobal,
                                                 kAudioObjectPropertyElementMain};
        standin::invoke_block<apple::AudioObjectPropertyListenerBlockInvoke>(listener.block,
                                                                             UInt32(1), &address);
        done_one();
      });
    }
    return called;
  });
}

void wait_until_delivered() {
  std::unique_lock lock(state().mutex);
  state().delivered.wait(lock, [] { return state().in_flight == 0; });
}

}  // namespace system_audio::fake

using namespace system_audio;
using fake::locked;
using fake::Run;

OSStatus AudioObjectGetPropertyDataSize(AudioObjectID object,
                                        const AudioObjectPropertyAddress* address, UInt32,
                                        const void*, UInt32* size) {
  fake::add_log("AudioObjectGetPropertyDataSize(" + std::to_string(object) + ", " +
                fake::code(address->mSelector) + ")");
  if (object != 1 || address->mSelector != kAudioHardwarePropertyProcessObjectList) {
    return kAudioHardwareUnknownPropertyError;
  }
  *size = locked([](Run& run) { return UInt32(run.script.processes.size() * 4); });
  return 0;
}

OSStatus AudioObjectGetPropertyData(AudioObjectID object, const AudioObjectPropertyAddress* address,
                                    UInt32 qualifier_size, const void*, UInt32* size, void* data) {
  fake::add_log("AudioObjectGetPropertyData(" + std::to_string(object) + ", " +
                fake::code(address->mSelector) + ", " + fake::code(address->mScope) + ", " +
                std::to_string(address->mElement) + ", " + std::to_string(*size) +
                (qualifier_size ? ", qualifier)" : ")"));
  return locked([&](Run& run) {
    const fake::Script& script = run.script;
    const bool tap = std::ranges::count(run.taps, object) > 0;
    const UInt32 selector = address->mSelector;
    if (object == 1 && selector == kAudioHardwarePropertyDefaultOutputDevice)
      return fake::write(script.default_device_status, script.default_device, 4, size, data);
    if (object != 1 && selector == kAudioDevicePropertyDeviceIsAlive)
      return fake::write(0, script.device_alive, 4, size, data);
    if (object == script.aggregate_id && selector == kAudioDevicePropertyDeviceIsRunningSomewhere)
      return fake::write(0, script.aggregate_running, 4, size, data);
    if (object == 1 && selector == kAudioHardwarePropertyProcessObjectList) {
      std::vector<AudioObjectID> ids;
      for (const auto& [id, pid, running] : script.processes) ids.push_back(id);
      ids.resize(std::min<std::size_t>(ids.size(), *size / 4));
      std::ranges::copy(ids, static_cast<AudioObjectID*>(data));
      *size = UInt32(ids.size() * 4);
      return 0;
    }
    for (const auto& [id, pid, running] : script.processes) {
      if (id == object && selector == kAudioProcessPropertyPID)
        return fake::write(0, pid, 4, size, data);
      if (id == object && selector == kAudioProcessPropertyIsRunningOutput)
        return fake::write(0, running, 4, size, data);
    }
    if (object == script.default_device && selector == kAudioDevicePropertyDeviceUID)
      return fake::write_uid(script.device_uid_status, script.device_uid, size, data);
    if (tap && selector == kAudioTapPropertyUID)
      return fake::write_uid(script.tap_uid_status, script.tap_uid, size, data);
    if (!tap || selector != kAudioTapPropertyFormat) return kAudioHardwareUnknownPropertyError;
    return fake::write(script.tap_format_status, script.tap_format, script.tap_format_size, size,
                       data);
  });
}

// Made with the scripted id, or the scripted failure.
static OSStatus create(std::vector<AudioObjectID> Run::*made, OSStatus status, AudioObjectID id,
                       AudioObjectID* out) {
  return locked([&](Run& run) {
    if (status == 0) (run.*made).push_back(*out = id);
    return status;
  });
}

static OSStatus destroy(std::vector<AudioObjectID> Run::*made, AudioObjectID id, OSStatus none) {
  return locked([&](Run& run) { return std::erase(run.*made, id) ? 0 : none; });
}

OSStatus system_audio::apple::AudioHardwareCreateProcessTap(CATapDescription* description,
                                                            AudioObjectID* tap) {
  fake::add_log("AudioHardwareCreateProcessTap(" + fake::content(description) + ")");
  const fake::Script& script = fake::state().run.script;
  return create(&Run::taps, script.create_tap_status, script.tap_id, tap);
}

OSStatus system_audio::apple::AudioHardwareDestroyProcessTap(AudioObjectID tap) {
  fake::add_log("AudioHardwareDestroyProcessTap(" + std::to_string(tap) + ")");
  return destroy(&Run::taps, tap, kAudioHardwareBadObjectError);
}

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef description, AudioObjectID* device) {
  fake::add_log("AudioHardwareCreateAggregateDevice(" + fake::content(description) + ")");
  const fake::Script& script = fake::state().run.script;
  return create(&Run::aggregates, script.create_aggregate_status, script.aggregate_id, device);
}

OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID device) {
  fake::add_log("AudioHardwareDestroyAggregateDevice(" + std::to_string(device) + ")");
  return destroy(&Run::aggregates, device, kAudioHardwareBadDeviceError);
}

OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* id, AudioObjectID device,
                                            dispatch_queue_t queue, AudioDeviceIOBlock block) {
  fake::add_log("AudioDeviceCreateIOProcIDWithBlock(" + std::to_string(device) + ", " +
                fake::describe(queue) + ", " + fake::describe(block) + ")");
  return locked([&](Run& run) {
    if (run.script.create_io_proc_status != 0) return run.script.create_io_proc_status;
    standin::retain(queue);
    standin::retain(block);
    run.io_procs.push_back(std::shared_ptr<fake::IoProc>(
        new fake::IoProc{run.next_io_proc++, queue, block, false, false, {}}));
    *id = reinterpret_cast<AudioDeviceIOProcID>(run.io_procs.back().get());
    return 0;
  });
}

OSStatus AudioDeviceDestroyIOProcID(AudioObjectID device, AudioDeviceIOProcID id) {
  fake::add_log("AudioDeviceDestroyIOProcID(" + std::to_string(device) + ", " + fake::name_of(id) +
                ")");
  const auto proc = locked([&](Run& run) {
    std::shared_ptr<fake::IoProc> found;
    std::erase_if(run.io_procs, [&](const auto& p) {
      return p.get() == reinterpret_cast<void*>(id) ? (found = p, true) : false;
    });
    return found;
  });
  if (!proc) return kAudioHardwareBadObjectError;
  fake::retire(proc);
  return 0;
}

OSStatus AudioDeviceStart(AudioObjectID device, AudioDeviceIOProcID id) {
  fake::add_log("AudioDeviceStart(" + std::to_string(device) + ", " + fake::name_of(id) + ")");
  return locked([&](Run& run) {
    if (run.script.start_status != 0) return run.script.start_status;
    for (const auto& proc : run.io_procs) proc->started |= proc.get() == (void*)id;
    return 0;
  });
}

// Logs the call; an addition fails as the script says.
static OSStatus listen(bool add, const char* function, fake::Listener listener) {
  if (!fake::answer_call(function, std::string(function) + "(" + std::to_string(listener.object) +
                                       ", " + fake::code(listener.selector) + ")")) {
    return kAudioHardwareBadObjectError;
  }
  return locked([&](Run& run) {
    if (add) {
      run.listeners.push_back(listener);
    } else if (std::erase(run.listeners, listener) == 0) {
      return kAudioHardwareUnknownPropertyError;
    }
    return kAudioHardwareNoError;
  });
}

OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID object,
                                             const AudioObjectPropertyAddress* address,
                                             dispatch_queue_t queue,
                                             AudioObjectPropertyListenerBlock block) {
  return listen(true, __func__, {object, address->mSelector, queue, block});
}

OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID object,
                                                const AudioObjectPropertyAddress* address,
                                                dispatch_queue_t queue,
                                                AudioObjectPropertyListenerBlock block) {
  return listen(false, __func__, {object, address->mSelector, queue, block});
}
