#pragma once

#include <memory>

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/conversion/capture_state.h"
#include "system_audio/coreaudio/device_listeners.h"
#include "system_audio/frame/messages.h"
#include "system_audio/frame/options.h"
#include "system_audio/result.h"

namespace system_audio {

// The capture state of the tap's IOProc: the block refers to it by address.
struct TapCallbackState {
  CaptureState capture;
  double tap_rate;
};

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
// private aggregate device whose IOProc feeds the capture state, with listeners
// that report a capture that died as a status. Nothing stops it while it is
// held. The members are what a start makes, in the order it makes them, the
// HAL objects and the listeners last: a session goes, started or not, in
// reverse order, so that nothing goes while something made on it can still
// use it (the listeners, then the IOProc, the aggregate device and the tap
// first), and the senders with the capture state.
struct CoreAudioSession {
  PcmSender pcm_tx;  // until the capture state takes them
  StatusSender status_tx;
  NsRef<apple::NSArray> exclusion_list;  // these four only while starting
  CfRef<CFStringRef> device_uid;
  NsRef<apple::NSString> device_uid_string;
  NsRef<apple::CATapDescription> tap_description;
  CfRef<CFDictionaryRef> aggregate_description;
  std::unique_ptr<TapCallbackState> state;
  BlockRef<AudioDeviceIOBlock> io_block;
  QueueRef queue;
  BlockRef<AudioObjectPropertyListenerBlock> listener_block;  // runs on `queue`
  HalObjectIds hal;
  DeviceListeners listeners;

  CoreAudioSession() = default;
  CoreAudioSession(CoreAudioSession&&) noexcept = default;
  CoreAudioSession& operator=(CoreAudioSession&&) = delete;

  // Everything or nothing: on failure, all that was built is undone before the
  // error returns.
  static Result<CoreAudioSession> start(const Options& options, PcmSender pcm_tx,
                                        StatusSender status_tx);
};

}  // namespace system_audio
