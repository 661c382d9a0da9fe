#include "system_audio/coreaudio/coreaudio_session.h"

#include <new>
#include <string>
#include <utility>

#include "system_audio/conversion/tap_format.h"
#include "system_audio/coreaudio/aggregate_device.h"
#include "system_audio/coreaudio/cf_text.h"
#include "system_audio/coreaudio/hal_properties.h"
#include "system_audio/coreaudio/hal_status.h"
#include "system_audio/coreaudio/io_proc.h"
#include "system_audio/coreaudio/tap_description.h"
#include "system_audio/frame/line_writer.h"

namespace system_audio {

using namespace apple;

namespace {

// What a start holds while it runs. Members go in reverse order of declaration,
// which is the teardown of a failed start: the HAL objects first, since nothing
// may be released while the HAL can still use it, then everything else newest
// first, and the senders last.
struct StartObjects {
  PcmSender pcm_tx;
  StatusSender status_tx;
  NsRef<NSArray> exclusion_list;
  CfRef<CFStringRef> device_uid;
  NsRef<NSString> device_uid_string;
  NsRef<CATapDescription> tap_description;
  CfRef<CFDictionaryRef> aggregate_description;
  std::unique_ptr<TapCallbackState> state;
  BlockRef<AudioDeviceIOBlock> io_block;
  QueueRef queue;
  BlockRef<AudioObjectPropertyListenerBlock> listener_block;
  HalObjects hal;
  DeviceListeners listeners;  // removed first: the HAL may call them until then
};

std::unique_ptr<TapCallbackState> make_state(StartObjects& objects, double tap_rate) {
  try {
    LinearResampler resampler(tap_rate);
    LowPassFilter filter(tap_rate);
    return std::unique_ptr<TapCallbackState>(new TapCallbackState{std::move(objects.pcm_tx),
                                                                  std::move(objects.status_tx),
                                                                  {},
                                                                  std::move(resampler),
                                                                  std::move(filter)});
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

CoreAudioSession::CoreAudioSession(CoreAudioSession&& other) noexcept
    : state(std::move(other.state)),
      tap_description(std::move(other.tap_description)),
      io_block(std::move(other.io_block)),
      listener_block(std::move(other.listener_block)),
      queue(std::move(other.queue)),
      listeners(std::move(other.listeners)),
      io_proc_id(std::exchange(other.io_proc_id, nullptr)),
      tap_id(std::exchange(other.tap_id, 0)),
      aggregate_id(std::exchange(other.aggregate_id, 0)) {}

CoreAudioSession& CoreAudioSession::operator=(CoreAudioSession&& other) noexcept {
  if (this != &other) {
    release();
    state = std::move(other.state);
    tap_description = std::move(other.tap_description);
    io_block = std::move(other.io_block);
    listener_block = std::move(other.listener_block);
    queue = std::move(other.queue);
    listeners = std::move(other.listeners);
    io_proc_id = std::exchange(other.io_proc_id, nullptr);
    tap_id = std::exchange(other.tap_id, 0);
    aggregate_id = std::exchange(other.aggregate_id, 0);
  }
  return *this;
}

void CoreAudioSession::release() {
  // The listeners before their block; then the state: its senders closing is
  // what the frame waits for.
  listeners.remove();
  state.reset();
  tap_description.reset();
  io_block.reset();
  listener_block.reset();
  queue.reset();
  io_proc_id = nullptr;
  tap_id = 0;
  aggregate_id = 0;
}

Result<CoreAudioSession> CoreAudioSession::start(PcmSender pcm_tx, StatusSender status_tx) {
  StartObjects objects;
  objects.pcm_tx = std::move(pcm_tx);
  objects.status_tx = std::move(status_tx);
  write_diagnostic("coreaudio: start");

  objects.exclusion_list = NsRef<NSArray>(NSArray_new());
  if (!objects.exclusion_list) return fail("CoreAudio could not create the process exclusion list");

  const auto device = read_default_output_device();
  if (!device) return fail(device.error());
  auto device_uid = read_device_uid(*device);
  if (!device_uid) return fail(std::move(device_uid.error()));
  objects.device_uid = std::move(*device_uid);
  {
    const std::string text = cfstring_to_text(objects.device_uid.get());
    objects.device_uid_string = NsRef<NSString>(NSString_alloc_initWithBytes_length_encoding(
        text.data(), text.size(), NSUTF8StringEncoding));
  }
  if (!objects.device_uid_string) return fail("CoreAudio could not create the device UID string");

  auto tap_description =
      create_tap_description(objects.exclusion_list.get(), objects.device_uid_string.get());
  if (!tap_description) return fail(std::move(tap_description.error()));
  objects.tap_description = std::move(*tap_description);
  write_diagnostic("coreaudio: tap description created");
  if (auto configured = configure_tap_description(objects.tap_description.get()); !configured) {
    return fail(std::move(configured.error()));
  }

  AudioObjectID tap = kAudioObjectUnknown;
  const OSStatus tap_status = AudioHardwareCreateProcessTap(objects.tap_description.get(), &tap);
  if (auto ok = status_ok(tap_status, "create CoreAudio process tap"); !ok) {
    return fail(std::move(ok.error()));
  }
  objects.hal.ids.tap_id = tap;
  write_diagnostic("coreaudio: process tap created id=" + std::to_string(tap));

  const auto format = read_tap_format(tap);
  if (!format) return fail(format.error());
  if (auto accepted = validate_tap_format(format->format, format->size); !accepted) {
    return fail(std::move(accepted.error()));
  }

  auto aggregate_description = aggregate_device_description(tap, objects.device_uid.get());
  if (!aggregate_description) return fail(std::move(aggregate_description.error()));
  objects.aggregate_description = std::move(*aggregate_description);
  write_diagnostic("coreaudio: aggregate description ready");

  AudioObjectID aggregate = kAudioObjectUnknown;
  const OSStatus aggregate_status =
      AudioHardwareCreateAggregateDevice(objects.aggregate_description.get(), &aggregate);
  if (auto ok = status_ok(aggregate_status, "create CoreAudio aggregate tap device"); !ok) {
    return fail(std::move(ok.error()));
  }
  objects.hal.ids.aggregate_id = aggregate;
  write_diagnostic("coreaudio: aggregate created id=" + std::to_string(aggregate));

  objects.state = make_state(objects, format->format.mSampleRate);
  if (!objects.state) return fail("CoreAudio could not allocate the capture state");
  objects.io_block = make_io_block(*objects.state);
  if (!objects.io_block) return fail("CoreAudio could not create the IOProc block");
  objects.queue = make_io_queue();
  if (!objects.queue) return fail("CoreAudio could not create the IOProc queue");

  AudioDeviceIOProcID io_proc = nullptr;
  const OSStatus io_proc_status = AudioDeviceCreateIOProcIDWithBlock(
      &io_proc, aggregate, objects.queue.get(), objects.io_block.get());
  if (auto ok = status_ok(io_proc_status, "create CoreAudio tap IOProc"); !ok) {
    return fail(std::move(ok.error()));
  }
  objects.hal.ids.io_proc_id = io_proc;
  write_diagnostic("coreaudio: io proc created");

  // Listening begins before the device starts, so no death goes unseen. A
  // start that cannot listen fails: a capture that could die without a word
  // would leave its parent waiting on silence it takes for a quiet room. The
  // listeners share the IOProc's queue: their calls are rare and short, and
  // the queue already lives exactly as long as the capture.
  objects.listener_block = make_listener_block(objects.state->status_tx, *device);
  if (!objects.listener_block) {
    return fail("CoreAudio could not create the property listener block");
  }
  auto listeners = DeviceListeners::add(*device, objects.listener_block.get(), objects.queue.get());
  if (!listeners) return fail(std::move(listeners.error()));
  objects.listeners = std::move(*listeners);

  if (auto started = start_device_io(aggregate, io_proc); !started) {
    return fail(std::move(started.error()));
  }
  write_diagnostic("coreaudio: device started");

  // The session keeps the capture; the aggregate description, the UID NSString,
  // the device UID and the exclusion list go with `objects`, in that order.
  CoreAudioSession session;
  const HalIds ids = objects.hal.release();
  session.state = std::move(objects.state);
  session.tap_description = std::move(objects.tap_description);
  session.io_block = std::move(objects.io_block);
  session.listener_block = std::move(objects.listener_block);
  session.queue = std::move(objects.queue);
  session.listeners = std::move(objects.listeners);
  session.io_proc_id = ids.io_proc_id;
  session.tap_id = ids.tap_id;
  session.aggregate_id = ids.aggregate_id;
  return session;
}

}  // namespace system_audio
