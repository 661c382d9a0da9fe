#pragma once

#include <utility>

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/conversion/capture_state.h"
#include "system_audio/result.h"

namespace system_audio {

// A heap block that hands each IO cycle's input list to process_input_buffers.
// It captures only the state's address: the state must outlive every call.
BlockRef<AudioDeviceIOBlock> make_io_block(TapCallbackState& state);

// The serial queue the IOProc runs on, labelled with our prefix and ".audio-tap".
QueueRef make_io_queue();

// AudioDeviceStart, judged as "start CoreAudio tap IO".
Result<void> start_device_io(AudioObjectID device, AudioDeviceIOProcID io_proc);

// Destroys what exists, newest first: the IOProc (on the aggregate device), the
// aggregate device, the tap. Zero ids are skipped; results are ignored.
void cleanup_hal(AudioObjectID tap_id, AudioObjectID aggregate_id, AudioDeviceIOProcID io_proc_id);

struct HalIds {
  AudioObjectID tap_id = 0;
  AudioObjectID aggregate_id = 0;
  AudioDeviceIOProcID io_proc_id = nullptr;
};

// The HAL objects of a start in progress: destroyed with cleanup_hal unless
// handed over with release().
class HalObjects {
 public:
  HalIds ids;

  HalObjects() = default;
  HalObjects(const HalObjects&) = delete;
  HalObjects& operator=(const HalObjects&) = delete;
  ~HalObjects() { cleanup_hal(ids.tap_id, ids.aggregate_id, ids.io_proc_id); }

  HalIds release() { return std::exchange(ids, HalIds{}); }
};

}  // namespace system_audio
