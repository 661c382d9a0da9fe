#pragma once

// The stand-in's ScreenCaptureKit and CoreMedia objects, shared by every
// binding: displays, content, filters, configurations, streams, the output
// class, sample buffers. What differs between bindings is only how the content
// request, the attach and the start are answered and where the audio comes
// from; each binding defines those four messages
//   SCShareableContent_getShareableContent...completionHandler
//   SCStream_initWithFilter_configuration_delegate (may call init_stream)
//   SCStream_addStreamOutput_type_sampleHandlerQueue_error (may call attach_output)
//   SCStream_startCaptureWithCompletionHandler
// and hands audio to the output with deliver_sample_buffer.

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "system_audio/apple/screen_capture.h"
#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {

struct DisplayFacts {
  apple::CGDirectDisplayID id = 1;
  NSInteger width = 1920;
  NSInteger height = 1080;
};

// A new SCShareableContent (+1) listing these displays in this order.
apple::SCShareableContent* make_shareable_content(const std::vector<DisplayFacts>& displays);

struct ConfigurationPayload {
  // The framework's defaults until a setter runs.
  bool captures_audio = false;
  bool excludes_current_process_audio = false;
  NSInteger sample_rate = 48000;
  NSInteger channel_count = 2;
  NSInteger queue_depth = 3;
  std::size_t width = 1920;
  std::size_t height = 1080;
  CMTime minimum_frame_interval{1, 60, 1, 0};
};
std::string describe(const ConfigurationPayload& configuration);
std::string content(const ConfigurationPayload& configuration);

// A stream holds its filter, configuration, delegate, and once attached its
// output and queue, so that nothing it calls can go away under it. binding is
// the binding's own per-stream state, destroyed with the stream.
struct StreamPayload {
  Ref filter;
  Ref configuration;
  Ref delegate;
  Ref output;
  dispatch_queue_t queue = nullptr;  // one reference while attached
  std::shared_ptr<void> binding;
  StreamPayload() = default;
  StreamPayload(StreamPayload&& other) noexcept;
  StreamPayload& operator=(StreamPayload&&) = delete;
  ~StreamPayload();
};
std::string describe(const StreamPayload& stream);

// For the bindings' init and attach: a live SCStream's payload (or nullptr), the
// filled-in stream (self, or nil with self released when an argument is not
// alive), the output and queue recorded.
StreamPayload* stream_payload(apple::SCStream* stream);
apple::SCStream* init_stream(apple::SCStream* self, apple::SCContentFilter* filter,
                             apple::SCStreamConfiguration* configuration,
                             apple::VantleSckAudioOutput* delegate);
bool attach_output(apple::SCStream* stream, apple::VantleSckAudioOutput* output,
                   dispatch_queue_t queue);

// One audio sample buffer: interleaved f32 samples and how the CoreMedia calls
// answer for it (the defaults: a ready buffer with a format description).
struct SampleBufferSpec {
  std::vector<float> samples;
  UInt32 channels = 1;
  double rate = 48000.0;
  bool ready = true;
  bool format_description = true;
  bool stream_description = true;
  OSStatus size_status = 0;
  std::optional<std::size_t> size;  // what the size query reports; default: the list's size
  OSStatus fill_status = 0;         // a failing fill still hands out its block buffer
};
CMSampleBufferRef make_sample_buffer(SampleBufferSpec spec);  // +1, CFRelease

// Calls the stream's output on its queue (asynchronously, in order) with the
// buffer, or with null when buffer is null; false when nothing is attached.
bool deliver_sample_buffer(apple::SCStream* stream, CMSampleBufferRef buffer,
                           apple::SCStreamOutputType type);
// stream:didStopWithError: to the delegate, on the calling thread, with an
// error of this description.
bool stop_stream(apple::SCStream* stream, std::string_view description);

}  // namespace system_audio::standin
