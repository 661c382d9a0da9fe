// Property listeners over the audio server. The server's own events raise
// them: a sink removed tells the listeners of its device's liveness, a change
// of the server (its default sink among others) those of the default output
// device, and a lost connection those of a restarted service. An IOProc's
// record stream that fails raises its aggregate device's running. Each
// listener block is called on its queue with the one address; it reads the
// value itself. A tap's format can be listened to, and never changes: its
// record stream keeps the rate it was opened with, which the server converts
// to when its sink's rate changes.
//
// A lost connection raises the service restart, not the device's death: the
// whole server went, the sinks with it, and a server started again may offer
// the same sink anew. That is what the HAL tells of its own service, and what
// a parent can act on: start the helper again.

#include <memory>
#include <mutex>
#include <vector>

#include "system_audio/apple/linux/hal_registry.h"
#include "system_audio/apple/standin/runtime.h"

using namespace system_audio;

namespace {

// Open while the listener is added. A queued call runs its block only while the
// gate is open and holds the gate for the call, so once a removal has closed
// it, the block is never called again and can go at once.
struct Gate {
  std::mutex mutex;
  bool open = true;
};

struct Listener {
  std::shared_ptr<Gate> gate;
  AudioObjectID object = kAudioObjectUnknown;
  AudioObjectPropertyAddress address{};
  dispatch_queue_t queue = nullptr;                  // one reference held while added
  AudioObjectPropertyListenerBlock block = nullptr;  // one reference held while added
  std::uint32_t sink_index = 0;                      // of a device's liveness
};

// Its own lock, never held while calling out: the server's events take it on
// the mainloop thread, where the HAL's lock may not be taken.
struct Listeners {
  std::mutex mutex;
  std::vector<Listener> added;
};

Listeners& listeners() {
  static Listeners* const all = new Listeners();
  return *all;
}

bool same(const Listener& listener, AudioObjectID object, const AudioObjectPropertyAddress& address,
          dispatch_queue_t queue, AudioObjectPropertyListenerBlock block) {
  return listener.object == object && listener.address.mSelector == address.mSelector &&
         listener.address.mScope == address.mScope &&
         listener.address.mElement == address.mElement && listener.queue == queue &&
         listener.block == block;
}

// Queues one call of each listener of that selector that `applies` to. A
// queue runs what was queued on it even after its last reference has gone.
template <class Applies>
void raise(AudioObjectPropertySelector selector, Applies applies) {
  std::lock_guard lock(listeners().mutex);
  for (const Listener& listener : listeners().added) {
    if (listener.address.mSelector != selector || !applies(listener)) continue;
    standin::dispatch_async(
        listener.queue, [gate = listener.gate, block = listener.block, address = listener.address] {
          std::lock_guard call(gate->mutex);
          if (!gate->open) return;
          standin::invoke_block<apple::AudioObjectPropertyListenerBlockInvoke>(block, UInt32(1),
                                                                               &address);
        });
  }
}

void on_server_event(pulse::ServerEvent event, std::uint32_t index) {
  const auto any = [](const Listener&) { return true; };
  switch (event) {
    case pulse::ServerEvent::sink_removed:
      raise(kAudioDevicePropertyDeviceIsAlive,
            [index](const Listener& listener) { return listener.sink_index == index; });
      break;
    case pulse::ServerEvent::server_changed:
      raise(kAudioHardwarePropertyDefaultOutputDevice, any);
      break;
    case pulse::ServerEvent::lost:
      raise(kAudioHardwarePropertyServiceRestarted, any);
      break;
  }
}

// What can be listened to: a device's liveness, the system's default output
// device and service restart, a tap's format and an aggregate device's running.
bool listenable(const pulse::HalRegistry& registry, AudioObjectID object,
                AudioObjectPropertySelector selector) {
  if (object == kAudioObjectSystemObject) {
    return selector == kAudioHardwarePropertyDefaultOutputDevice ||
           selector == kAudioHardwarePropertyServiceRestarted;
  }
  if (registry.taps.contains(object)) return selector == kAudioTapPropertyFormat;
  if (registry.aggregates.contains(object)) {
    return selector == kAudioDevicePropertyDeviceIsRunningSomewhere;
  }
  return selector == kAudioDevicePropertyDeviceIsAlive && registry.device_names.contains(object);
}

}  // namespace

void pulse::raise_property(AudioObjectID object, AudioObjectPropertySelector selector) {
  raise(selector, [object](const Listener& listener) { return listener.object == object; });
}

OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID inObjectID,
                                             const AudioObjectPropertyAddress* inAddress,
                                             dispatch_queue_t inDispatchQueue,
                                             AudioObjectPropertyListenerBlock inListener) {
  if (inAddress == nullptr ||
      standin::payload_of<standin::QueuePayload>(inDispatchQueue) == nullptr ||
      standin::payload_of<standin::BlockPayload>(inListener) == nullptr) {
    return kAudio_ParamError;
  }
  auto& registry = pulse::hal_registry();
  std::lock_guard lock(registry.mutex);
  if (!listenable(registry, inObjectID, inAddress->mSelector)) {
    return kAudioHardwareUnknownPropertyError;
  }
  auto server = registry.server.get();
  if (!server) return pulse::server_failed(server.error());
  Listener listener{std::make_shared<Gate>(), inObjectID, *inAddress, inDispatchQueue, inListener};
  if (inAddress->mSelector == kAudioDevicePropertyDeviceIsAlive) {
    auto sink = (*server)->sink_named(registry.device_names.at(inObjectID));
    if (!sink) return pulse::server_failed(sink.error());
    if (!*sink) return kAudioHardwareBadObjectError;
    listener.sink_index = (*sink)->index;
  }
  if (auto watching = (*server)->watch(&on_server_event); !watching) {
    return pulse::server_failed(watching.error());
  }
  standin::retain(inDispatchQueue);
  standin::retain(inListener);
  std::lock_guard added(listeners().mutex);
  listeners().added.push_back(listener);
  return kAudioHardwareNoError;
}

OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID inObjectID,
                                                const AudioObjectPropertyAddress* inAddress,
                                                dispatch_queue_t inDispatchQueue,
                                                AudioObjectPropertyListenerBlock inListener) {
  if (inAddress == nullptr) return kAudio_ParamError;
  std::vector<Listener> removed;
  {
    std::lock_guard lock(listeners().mutex);
    std::erase_if(listeners().added, [&](const Listener& listener) {
      if (removed.empty() && same(listener, inObjectID, *inAddress, inDispatchQueue, inListener)) {
        removed.push_back(listener);
        return true;
      }
      return false;
    });
  }
  if (removed.empty()) return kAudioHardwareUnknownPropertyError;
  // Waits for a call in progress; not to be removed from inside its own call.
  {
    std::lock_guard call(removed.front().gate->mutex);
    removed.front().gate->open = false;
  }
  standin::release(removed.front().block);
  standin::release(removed.front().queue);
  return kAudioHardwareNoError;
}
