#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "system_audio/apple/core_audio.h"
#include "system_audio/apple/core_audio_types.h"
#include "system_audio/conversion/capture_state.h"

namespace system_audio {

// What the IO cycles show the capture's watch, without a lock.
struct IoActivity {
  std::atomic<std::uint64_t> cycles{0};
  std::atomic<std::uint64_t> silent_frames{0};  // tap frames while every sample has been 0.0
  std::atomic<bool> heard{false};               // a sample other than 0.0 arrived
};

// The capture state of the tap's IOProc: the block refers to it by address.
// The tap's format is set apart from the IO cycles, at start and when it
// changes, so that no cycle reads a HAL property.
struct TapCallbackState {
  CaptureState capture;
  std::atomic<UInt32> tap_channels{1};
  std::atomic<double> tap_rate{0.0};
  std::atomic<bool> format_usable{true};  // false once the tap's samples are no longer floats
  IoActivity activity;

  TapCallbackState(PcmSender pcm, StatusSender status)
      : capture(std::move(pcm), std::move(status)) {}
};

// Room for the records of a list of up to kMaxTapBuffers buffers.
inline constexpr std::size_t kMaxTapBuffers = 8;
struct TapBufferRoom {
  AudioBufferList list;
  AudioBuffer more[kMaxTapBuffers - 1];
};

// The tap's own buffers of an IO cycle's input list. The aggregate device's
// input holds its output device's input streams (a headset's microphone)
// before the tap's, so the tap's are the last buffers, of the tap's channels
// together. The list itself when it holds only those, else their records
// copied into `room`; nullptr when the last buffers do not add up to the tap's
// channels: a layout other than the one assumed gives nothing rather than a
// microphone.
const AudioBufferList* tap_buffers(const AudioBufferList& input, UInt32 tap_channels,
                                   TapBufferRoom& room);

// The IO block: the tap's buffers to the capture state (the context), the
// cycle to its activity. Reads only the input list; the output list is not ours.
void run_io_block(void* context, const AudioTimeStamp* now, const AudioBufferList* input,
                  const AudioTimeStamp* input_time, AudioBufferList* output,
                  const AudioTimeStamp* output_time);

}  // namespace system_audio
