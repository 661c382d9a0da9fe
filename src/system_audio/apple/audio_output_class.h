#pragma once

// The facts of the class VantleSckAudioOutput, the helper's own, in the one
// place a binding takes them from: the macOS binding declares the class
// statically with exactly these, and forwards its three methods to the
// functions below, which the sck backend defines.
//
//   @interface VantleSckAudioOutput : NSObject <SCStreamOutput, SCStreamDelegate> {
//     alignas(8) unsigned char ivars[IVARS_SIZE];  // the backend's state
//     unsigned char drop_flag;                     // DROP_FLAG_SET once ivars is filled
//   }
//   - (void)stream:didOutputSampleBuffer:ofType:  -> stream_did_output_sample_buffer
//   - (void)stream:didStopWithError:              -> stream_did_stop_with_error
//   - (void)dealloc  -> drop_audio_output_state, then [super dealloc]

#include <cstddef>

#include "system_audio/apple/core_audio_types.h"
#include "system_audio/apple/screen_capture.h"

namespace system_audio::audio_output_class {

struct Method {
  const char* selector;
  const char* types;
};

inline constexpr char NAME[] = "VantleSckAudioOutput";
inline constexpr char SUPERCLASS[] = "NSObject";
// Each adopted only where the runtime knows a protocol of that name.
inline constexpr const char* PROTOCOLS[] = {"NSObject", "SCStreamOutput", "SCStreamDelegate"};

inline constexpr Method DEALLOC = {"dealloc", "v@:"};
inline constexpr Method SAMPLE_BUFFER = {"stream:didOutputSampleBuffer:ofType:",
                                         "v@:@^{opaqueCMSampleBuffer=}q"};
inline constexpr Method STOP_WITH_ERROR = {"stream:didStopWithError:", "v@:@@"};

// Room for the backend's state, which must fit.
inline constexpr char IVARS_NAME[] = "ivars";
inline constexpr std::size_t IVARS_SIZE = 512;
inline constexpr std::size_t IVARS_ALIGNMENT = 8;

inline constexpr char DROP_FLAG_NAME[] = "drop_flag";
inline constexpr char DROP_FLAG_TYPES[] = "C";
inline constexpr unsigned char DROP_FLAG_SET = 15;

}  // namespace system_audio::audio_output_class

namespace system_audio {

// The method bodies, written in the backend (sck/audio_output.cpp).
void stream_did_output_sample_buffer(apple::VantleSckAudioOutput* self, apple::SCStream* stream,
                                     CMSampleBufferRef sample_buffer,
                                     apple::SCStreamOutputType type);
void stream_did_stop_with_error(apple::VantleSckAudioOutput* self, apple::SCStream* stream,
                                apple::NSError* error);
// The state's drop in dealloc, guarded by drop_flag; the caller then runs the
// superclass's dealloc.
void drop_audio_output_state(apple::VantleSckAudioOutput* self);
// What the sample-buffer method does once it holds the buffer's audio and its
// source rate: a binding that has them without a sample buffer (the audio
// server's) calls this directly, one block at a time and in order.
void stream_did_output_audio(apple::VantleSckAudioOutput* self, apple::SCStream* stream,
                             const AudioBufferList& audio, double source_rate);

}  // namespace system_audio
