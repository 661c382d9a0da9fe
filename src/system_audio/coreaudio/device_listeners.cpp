#include "system_audio/coreaudio/device_listeners.h"

#include <atomic>
#include <utility>

#include "system_audio/coreaudio/hal_status.h"

namespace system_audio {

using namespace apple;

namespace {

struct ListenerState {
  StatusSender status_tx;
  AudioObjectID device;
  std::atomic<bool> gone_reported{false};
  std::atomic<bool> default_reported{false};
  std::atomic<bool> restart_reported{false};
};

void report_once(ListenerState& state, std::atomic<bool>& reported, const char* text) {
  if (!reported.exchange(true)) (void)state.status_tx.send(text);
}

bool read_u32(AudioObjectID object, AudioObjectPropertySelector selector, UInt32& value) {
  const AudioObjectPropertyAddress address{selector, kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
  UInt32 size = sizeof value;
  return AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &value) == 0 &&
         size == sizeof value;
}

// A device that no longer answers is gone.
bool device_alive(AudioObjectID device) {
  UInt32 alive = 0;
  return read_u32(device, kAudioDevicePropertyDeviceIsAlive, alive) && alive != 0;
}

// A notification only says that a property may have changed: each cause is
// judged by the values now. A default device that moved away from a device
// that is gone tells of the device, the first cause; one that cannot be read
// says nothing (a lost service reports itself).
void on_properties_changed(void* context, UInt32 count,
                           const AudioObjectPropertyAddress* addresses) {
  auto& state = *static_cast<ListenerState*>(context);
  for (UInt32 i = 0; i < count; ++i) {
    const AudioObjectPropertySelector selector = addresses[i].mSelector;
    UInt32 value = 0;
    if (selector == kAudioDevicePropertyDeviceIsAlive) {
      if (!device_alive(state.device)) report_once(state, state.gone_reported, kDeviceGoneStatus);
    } else if (selector == kAudioHardwarePropertyDefaultOutputDevice) {
      if (!read_u32(kAudioObjectSystemObject, selector, value) || value == state.device) continue;
      if (device_alive(state.device)) {
        report_once(state, state.default_reported, kDefaultDeviceChangedStatus);
      } else {
        report_once(state, state.gone_reported, kDeviceGoneStatus);
      }
    } else if (selector == kAudioHardwarePropertyServiceRestarted) {
      report_once(state, state.restart_reported, kServiceRestartedStatus);
    }
  }
}

struct Listened {
  bool on_device;  // else on the system object
  AudioObjectPropertySelector selector;
};
constexpr Listened kListened[] = {
    {true, kAudioDevicePropertyDeviceIsAlive},
    {false, kAudioHardwarePropertyDefaultOutputDevice},
    {false, kAudioHardwarePropertyServiceRestarted},
};
constexpr int kListenedCount = int(std::size(kListened));

AudioObjectID object_of(const Listened& listened, AudioObjectID device) {
  return listened.on_device ? device : kAudioObjectSystemObject;
}
AudioObjectPropertyAddress address_of(const Listened& listened) {
  return {listened.selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
}

}  // namespace

BlockRef<AudioObjectPropertyListenerBlock> make_listener_block(StatusSender status_tx,
                                                               AudioObjectID device) {
  auto* state = new ListenerState{std::move(status_tx), device};
  return BlockRef<AudioObjectPropertyListenerBlock>(AudioObjectPropertyListenerBlock_create(
      &on_properties_changed, state,
      [](void* context) { delete static_cast<ListenerState*>(context); }));
}

DeviceListeners::DeviceListeners(DeviceListeners&& other) noexcept
    : device_(std::exchange(other.device_, kAudioObjectUnknown)),
      block_(std::exchange(other.block_, nullptr)),
      queue_(std::exchange(other.queue_, nullptr)),
      added_(std::exchange(other.added_, 0)) {}

DeviceListeners& DeviceListeners::operator=(DeviceListeners&& other) noexcept {
  if (this != &other) {
    remove();
    device_ = std::exchange(other.device_, kAudioObjectUnknown);
    block_ = std::exchange(other.block_, nullptr);
    queue_ = std::exchange(other.queue_, nullptr);
    added_ = std::exchange(other.added_, 0);
  }
  return *this;
}

Result<DeviceListeners> DeviceListeners::add(AudioObjectID device,
                                             AudioObjectPropertyListenerBlock block,
                                             dispatch_queue_t queue) {
  DeviceListeners listeners;
  listeners.device_ = device;
  listeners.block_ = block;
  listeners.queue_ = queue;
  for (const Listened& listened : kListened) {
    const AudioObjectPropertyAddress address = address_of(listened);
    const OSStatus status =
        AudioObjectAddPropertyListenerBlock(object_of(listened, device), &address, queue, block);
    if (auto ok = status_ok(status, "listen for CoreAudio device changes"); !ok) {
      return fail(std::move(ok.error()));
    }
    ++listeners.added_;
  }
  return listeners;
}

void DeviceListeners::remove() {
  // Results ignored: nothing more can be done about a listener that stays.
  for (; added_ > 0 && added_ <= kListenedCount; --added_) {
    const Listened& listened = kListened[added_ - 1];
    const AudioObjectPropertyAddress address = address_of(listened);
    AudioObjectRemovePropertyListenerBlock(object_of(listened, device_), &address, queue_, block_);
  }
  added_ = 0;
}

}  // namespace system_audio
