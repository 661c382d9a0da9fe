#pragma once

#include <memory>

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/coreaudio/capture_watch.h"
#include "system_audio/coreaudio/device_listeners.h"
#include "system_audio/coreaudio/tap_io.h"
#include "system_audio/frame/messages.h"
#include "system_audio/frame/options.h"
#include "system_audio/result.h"

namespace system_audio {

// Destroys what exists, newest first: the IOProc (on the aggregate device), the
// aggregate device, the tap. Zero ids are skipped; results are ignored.
void cleanup_hal(AudioObjectID tap_id, AudioObjectID aggregate_id, AudioDeviceIOProcID io_proc_id);

// The HAL objects of a capture, given to cleanup_hal when they go.
struct HalObjectIds {
  AudioObjectID tap_id = kAudioObjectUnknown;
  AudioObjectID aggregate_id = kAudioObjectUnknown;
  AudioDeviceIOProcID io_proc_id = nullptr;

  HalObjectIds() = default;
  HalObjectIds(HalObjectIds&& other) noexcept;
  HalObjectIds& operator=(HalObjectIds&&) = delete;
  ~HalObjectIds() { cleanup_hal(tap_id, aggregate_id, io_proc_id); }
};

// A running process-tap capture: a tap on the default output device inside a
// private aggregate device whose IOProc feeds the capture state, with
// listeners (on a queue of their own, so that no property read waits in an IO
// cycle's way) and a watch that tell a capture that died, changed or hears
// only silence as a status. Nothing stops it while it is held. The members are
// what a start makes, in the order it makes them, the HAL objects, the
// listeners and the watch last: a session goes, started or not, in reverse
// order, so that nothing goes while something made on it can still use it
// (the watch, the listeners, then the IOProc, the aggregate device and the tap
// first), and the senders with the capture state.
struct CoreAudioSession {
  PcmSender pcm_tx;  // until the capture state takes them
  StatusSender status_tx;
  NsRef<apple::NSArray> exclusion_list;  // these four only while starting
  CfRef<CFStringRef> device_uid;
  NsRef<apple::NSString> device_uid_string;
  NsRef<apple::CATapDescription> tap_description;
  CfRef<CFDictionaryRef> aggregate_description;
  std::shared_ptr<TapCallbackState> state;  // shared with the listeners and the watch
  BlockRef<AudioDeviceIOBlock> io_block;
  QueueRef queue;
  QueueRef listener_queue;
  BlockRef<AudioObjectPropertyListenerBlock> listener_block;  // runs on `listener_queue`
  HalObjectIds hal;
  DeviceListeners listeners;
  std::unique_ptr<CaptureWatch> watch;

  CoreAudioSession() = default;
  CoreAudioSession(CoreAudioSession&&) noexcept = default;
  CoreAudioSession& operator=(CoreAudioSession&&) = delete;

  // Everything or nothing: on failure, all that was built is undone before the
  // error returns.
  static Result<CoreAudioSession> start(const Options& options, PcmSender pcm_tx,
                                        StatusSender status_tx);
};

}  // namespace system_audio
