#include "system_audio/coreaudio/coreaudio_session.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "system_audio/apple/cf_text.h"
#include "system_audio/conversion/tap_format.h"
#include "system_audio/coreaudio/aggregate_device.h"
#include "system_audio/coreaudio/hal_properties.h"
#include "system_audio/coreaudio/hal_status.h"
#include "system_audio/coreaudio/tap_description.h"
#include "system_audio/frame/line_writer.h"
#include "system_audio/identifier.h"

namespace system_audio {

using namespace apple;

namespace {

Result<void> start_device_io(AudioObjectID device, AudioDeviceIOProcID io_proc) {
  return status_ok(AudioDeviceStart(device, io_proc), "start CoreAudio tap IO");
}

// What the binding can tell of a failed HAL call beyond its status.
void write_reason(const char* reason) {
  write_diagnostic(std::string("coreaudio: ") + reason);
}

std::shared_ptr<TapCallbackState> make_state(CoreAudioSession& session,
                                             const AudioStreamBasicDescription& format) {
  try {
    auto state =
        std::make_shared<TapCallbackState>(std::move(session.pcm_tx), std::move(session.status_tx));
    state->tap_channels = format.mChannelsPerFrame;
    state->tap_rate = format.mSampleRate;
    set_source_rate(state->capture, format.mSampleRate);
    return state;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::shared_ptr<CaptureMonitor> make_monitor(AudioObjectID device, AudioObjectID tap,
                                             AudioObjectID aggregate,
                                             std::shared_ptr<TapCallbackState> state,
                                             const AudioStreamBasicDescription& format) {
  try {
    return std::make_shared<CaptureMonitor>(device, tap, aggregate, std::move(state), format);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

QueueRef make_queue(const char* suffix) {
  const std::string label = std::string(IDENTIFIER_PREFIX) + suffix;
  return QueueRef(dispatch_queue_create(label.c_str(), DISPATCH_QUEUE_SERIAL));
}

}  // namespace

void cleanup_hal(AudioObjectID tap_id, AudioObjectID aggregate_id, AudioDeviceIOProcID io_proc_id) {
  if (io_proc_id != nullptr) AudioDeviceDestroyIOProcID(aggregate_id, io_proc_id);
  if (aggregate_id != kAudioObjectUnknown) AudioHardwareDestroyAggregateDevice(aggregate_id);
  if (tap_id != kAudioObjectUnknown) AudioHardwareDestroyProcessTap(tap_id);
}

HalObjectIds::HalObjectIds(HalObjectIds&& other) noexcept
    : tap_id(std::exchange(other.tap_id, kAudioObjectUnknown)),
      aggregate_id(std::exchange(other.aggregate_id, kAudioObjectUnknown)),
      io_proc_id(std::exchange(other.io_proc_id, nullptr)) {}

Result<CoreAudioSession> CoreAudioSession::start(const Options&, PcmSender pcm_tx,
                                                 StatusSender status_tx) {
  CoreAudioSession session;
  session.pcm_tx = std::move(pcm_tx);
  session.status_tx = std::move(status_tx);
  audio_hardware_reason_handler = &write_reason;
  write_diagnostic("coreaudio: start");

  session.exclusion_list = NsRef<NSArray>(NSArray_new());
  if (!session.exclusion_list) return fail("CoreAudio could not create the process exclusion list");

  const auto device = read_default_output_device();
  if (!device) return fail(device.error());
  auto device_uid = read_device_uid(*device);
  if (!device_uid) return fail(std::move(device_uid.error()));
  session.device_uid = std::move(*device_uid);
  {
    const std::string text = cfstring_to_text(session.device_uid.get());
    session.device_uid_string = NsRef<NSString>(NSString_alloc_initWithBytes_length_encoding(
        text.data(), text.size(), NSUTF8StringEncoding));
  }
  if (!session.device_uid_string) return fail("CoreAudio could not create the device UID string");

  auto tap_description =
      create_tap_description(session.exclusion_list.get(), session.device_uid_string.get());
  if (!tap_description) return fail(std::move(tap_description.error()));
  session.tap_description = std::move(*tap_description);
  write_diagnostic("coreaudio: tap description created");
  if (auto configured = configure_tap_description(session.tap_description.get()); !configured) {
    return fail(std::move(configured.error()));
  }

  AudioObjectID tap = kAudioObjectUnknown;
  const OSStatus tap_status = AudioHardwareCreateProcessTap(session.tap_description.get(), &tap);
  if (auto ok = status_ok(tap_status, "create CoreAudio process tap"); !ok) {
    return fail(std::move(ok.error()));
  }
  session.hal.tap_id = tap;
  write_diagnostic("coreaudio: process tap created id=" + std::to_string(tap));

  const auto format = read_tap_format(tap);
  if (!format) return fail(format.error());
  auto checked = validate_tap_format(format->format, format->size);
  if (checked.diagnostic) write_diagnostic(std::move(*checked.diagnostic));
  if (!checked.accepted) return fail(std::move(checked.accepted.error()));

  auto aggregate_description = aggregate_device_description(tap, session.device_uid.get());
  if (!aggregate_description) return fail(std::move(aggregate_description.error()));
  session.aggregate_description = std::move(*aggregate_description);
  write_diagnostic("coreaudio: aggregate description ready");

  AudioObjectID aggregate = kAudioObjectUnknown;
  const OSStatus aggregate_status =
      AudioHardwareCreateAggregateDevice(session.aggregate_description.get(), &aggregate);
  if (auto ok = status_ok(aggregate_status, "create CoreAudio aggregate tap device"); !ok) {
    return fail(std::move(ok.error()));
  }
  session.hal.aggregate_id = aggregate;
  write_diagnostic("coreaudio: aggregate created id=" + std::to_string(aggregate));

  session.state = make_state(session, format->format);
  if (!session.state) return fail("CoreAudio could not allocate the capture state");
  // The block captures only the state's address: the state outlives its every call.
  session.io_block = BlockRef<AudioDeviceIOBlock>(
      AudioDeviceIOBlock_create(&run_io_block, session.state.get(), nullptr));
  if (!session.io_block) return fail("CoreAudio could not create the IOProc block");
  session.queue = make_queue(".audio-tap");
  if (!session.queue) return fail("CoreAudio could not create the IOProc queue");

  AudioDeviceIOProcID io_proc = nullptr;
  const OSStatus io_proc_status = AudioDeviceCreateIOProcIDWithBlock(
      &io_proc, aggregate, session.queue.get(), session.io_block.get());
  if (auto ok = status_ok(io_proc_status, "create CoreAudio tap IOProc"); !ok) {
    return fail(std::move(ok.error()));
  }
  session.hal.io_proc_id = io_proc;
  write_diagnostic("coreaudio: io proc created");

  // Listening and watching begin before the device starts, so no death goes
  // unseen. A start that cannot listen or watch fails: a capture that could
  // die without a word would leave its parent waiting on silence it takes for
  // a quiet room. The listeners have a queue of their own: a property read
  // while a device goes away must not hold up an IO cycle.
  auto monitor = make_monitor(*device, tap, aggregate, session.state, format->format);
  if (!monitor) return fail("CoreAudio could not allocate the capture state");
  session.listener_queue = make_queue(".device-changes");
  if (!session.listener_queue) return fail("CoreAudio could not create the listener queue");
  session.listener_block = make_listener_block(monitor);
  if (!session.listener_block) {
    return fail("CoreAudio could not create the property listener block");
  }
  auto listeners =
      DeviceListeners::add(*monitor, session.listener_block.get(), session.listener_queue.get());
  if (!listeners) return fail(std::move(listeners.error()));
  session.listeners = std::move(*listeners);
  auto watch = CaptureWatch::start(std::move(monitor));
  if (!watch) return fail(std::move(watch.error()));
  session.watch = std::move(*watch);

  if (auto started = start_device_io(aggregate, io_proc); !started) {
    return fail(std::move(started.error()));
  }
  write_diagnostic("coreaudio: device started");

  // What only the start needed, newest first.
  session.aggregate_description.reset();
  session.device_uid_string.reset();
  session.device_uid.reset();
  session.exclusion_list.reset();
  return session;
}

}  // namespace system_audio
