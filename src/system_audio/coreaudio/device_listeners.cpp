#include "system_audio/coreaudio/device_listeners.h"

#include <iterator>
#include <utility>

#include "system_audio/coreaudio/hal_properties.h"
#include "system_audio/coreaudio/hal_status.h"
#include "system_audio/coreaudio/tap_format_change.h"

namespace system_audio {

using namespace apple;

namespace {

// A notification only says that a property may have changed: each cause is
// judged by the values now. A default device that moved away from a device
// that is gone tells of the device, the first cause; one that cannot be read
// says nothing (a lost service reports itself). An aggregate device that no
// longer runs while its output device lives is a stopped capture; one whose
// device is gone or cannot be read tells nothing more than the device's own
// listener or the lost service.
void on_properties_changed(void* context, UInt32 count,
                           const AudioObjectPropertyAddress* addresses) {
  CaptureMonitor& monitor = **static_cast<std::shared_ptr<CaptureMonitor>*>(context);
  for (UInt32 i = 0; i < count; ++i) {
    const AudioObjectPropertySelector selector = addresses[i].mSelector;
    if (selector == kAudioDevicePropertyDeviceIsAlive) {
      if (!device_alive(monitor.device)) monitor.alarms.raise(Alarm::device_gone);
    } else if (selector == kAudioHardwarePropertyDefaultOutputDevice) {
      const auto now = read_u32(kAudioObjectSystemObject, selector);
      if (!now || *now == monitor.device) continue;
      monitor.alarms.raise(device_alive(monitor.device) ? Alarm::default_changed
                                                        : Alarm::device_gone);
    } else if (selector == kAudioHardwarePropertyServiceRestarted) {
      monitor.alarms.raise(Alarm::service_restarted);
    } else if (selector == kAudioDevicePropertyDeviceIsRunningSomewhere) {
      if (read_u32(monitor.aggregate, selector) == 0u && device_alive(monitor.device)) {
        monitor.alarms.raise(Alarm::capture_stopped);
      }
    } else if (selector == kAudioTapPropertyFormat) {
      follow_tap_format(monitor);
    }
  }
}

// Where each listened property lives: its place in DeviceListeners' objects.
enum Object { device, tap, aggregate, system };

struct Listened {
  Object object;
  AudioObjectPropertySelector selector;
};
constexpr Listened kListened[] = {
    {device, kAudioDevicePropertyDeviceIsAlive},
    {system, kAudioHardwarePropertyDefaultOutputDevice},
    {system, kAudioHardwarePropertyServiceRestarted},
    {tap, kAudioTapPropertyFormat},
    {aggregate, kAudioDevicePropertyDeviceIsRunningSomewhere},
};
constexpr int kListenedCount = int(std::size(kListened));

AudioObjectPropertyAddress address_of(const Listened& listened) {
  return {listened.selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
}

}  // namespace

BlockRef<AudioObjectPropertyListenerBlock> make_listener_block(
    std::shared_ptr<CaptureMonitor> monitor) {
  auto* shared = new std::shared_ptr<CaptureMonitor>(std::move(monitor));
  return BlockRef<AudioObjectPropertyListenerBlock>(AudioObjectPropertyListenerBlock_create(
      &on_properties_changed, shared,
      [](void* context) { delete static_cast<std::shared_ptr<CaptureMonitor>*>(context); }));
}

DeviceListeners::DeviceListeners(DeviceListeners&& other) noexcept
    : objects_(other.objects_),
      block_(std::exchange(other.block_, nullptr)),
      queue_(std::exchange(other.queue_, nullptr)),
      added_(std::exchange(other.added_, 0)) {}

DeviceListeners& DeviceListeners::operator=(DeviceListeners&& other) noexcept {
  if (this != &other) {
    remove();
    objects_ = other.objects_;
    block_ = std::exchange(other.block_, nullptr);
    queue_ = std::exchange(other.queue_, nullptr);
    added_ = std::exchange(other.added_, 0);
  }
  return *this;
}

Result<DeviceListeners> DeviceListeners::add(const CaptureMonitor& monitor,
                                             AudioObjectPropertyListenerBlock block,
                                             dispatch_queue_t queue) {
  DeviceListeners listeners;
  listeners.objects_ = {monitor.device, monitor.tap, monitor.aggregate, kAudioObjectSystemObject};
  listeners.block_ = block;
  listeners.queue_ = queue;
  for (const Listened& listened : kListened) {
    const AudioObjectPropertyAddress address = address_of(listened);
    const OSStatus status = AudioObjectAddPropertyListenerBlock(listeners.objects_[listened.object],
                                                                &address, queue, block);
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
    AudioObjectRemovePropertyListenerBlock(objects_[listened.object], &address, queue_, block_);
  }
  added_ = 0;
}

}  // namespace system_audio
