#pragma once

#include <memory>

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/conversion/capture_state.h"
#include "system_audio/coreaudio/device_listeners.h"
#include "system_audio/frame/messages.h"
#include "system_audio/result.h"

namespace system_audio {

// A running process-tap capture: a tap on the default output device inside a
// private aggregate device whose IOProc feeds the capture state, with listeners
// that report a capture that died as a status. Nothing stops it; the HAL
// objects live until the process ends. An empty session holds nothing and its
// release makes no call.
class CoreAudioSession {
 public:
  std::unique_ptr<TapCallbackState> state;  // fixed address, used by io_block
  NsRef<apple::CATapDescription> tap_description;
  BlockRef<AudioDeviceIOBlock> io_block;
  BlockRef<AudioObjectPropertyListenerBlock> listener_block;  // runs on `queue`
  QueueRef queue;
  DeviceListeners listeners;
  AudioDeviceIOProcID io_proc_id = nullptr;
  AudioObjectID tap_id = 0;
  AudioObjectID aggregate_id = 0;

  CoreAudioSession() = default;
  CoreAudioSession(CoreAudioSession&& other) noexcept;
  CoreAudioSession& operator=(CoreAudioSession&& other) noexcept;
  ~CoreAudioSession() { release(); }

  // Everything or nothing: on failure, all that was built is undone before the
  // error returns, and the senders go last.
  static Result<CoreAudioSession> start(PcmSender pcm_tx, StatusSender status_tx);

  // Removes the listeners, frees the state (dropping both senders), then
  // releases the tap description, the blocks and the queue. The IOProc is not
  // touched: the caller must know it can no longer run, e.g. because
  // cleanup_hal has removed it.
  void release();
};

}  // namespace system_audio
