#pragma once

// The stand-in's ScreenCaptureKit objects, shared by every Linux binding:
// displays, content, filters, configurations, streams, the output class. What
// differs between bindings is only how the content request, the attach and
// the start are answered and where the audio comes from; each binding defines
// those four messages
//   SCShareableContent_getShareableContent...completionHandler
//   SCStream_initWithFilter_configuration_delegate (may call init_stream)
//   SCStream_addStreamOutput_type_sampleHandlerQueue_error (may call attach_output)
//   SCStream_startCaptureWithCompletionHandler
// and the CoreMedia calls on sample buffers.

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "system_audio/apple/audio_output_class.h"
#include "system_audio/apple/screen_capture.h"
#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {

struct DisplayFacts {
  apple::CGDirectDisplayID id = 1;
  NSInteger width = 1920;
  NSInteger height = 1080;
};

struct DisplayPayload {
  DisplayFacts facts;
};
struct ContentPayload {
  Ref displays;  // NSArray of SCDisplay
};
struct FilterPayload {
  bool initialised = false;
  Ref display;
  Ref excluded_windows;
};
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

// The instance variables of a VantleSckAudioOutput; dealloc drops the state.
struct OutputPayload {
  apple::VantleSckAudioOutput* self = nullptr;
  alignas(
      audio_output_class::IVARS_ALIGNMENT) unsigned char ivars[audio_output_class::IVARS_SIZE]{};
  unsigned char drop_flag = 0;
  OutputPayload() = default;
  OutputPayload(OutputPayload&& other) noexcept;
  OutputPayload& operator=(OutputPayload&&) = delete;
  ~OutputPayload();
};

// A stream holds its filter, configuration, delegate, and once attached its
// output and queue, so that nothing it calls can go away under it. binding is
// the binding's own per-stream state, destroyed first with the stream.
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

// A new SCShareableContent (+1) listing these displays in this order.
apple::SCShareableContent* make_shareable_content(const std::vector<DisplayFacts>& displays);

// For the bindings' init and attach: the filled-in stream (self, or nil with
// self released when an argument is not of its class), the output and queue
// recorded.
apple::SCStream* init_stream(apple::SCStream* self, apple::SCContentFilter* filter,
                             apple::SCStreamConfiguration* configuration,
                             apple::VantleSckAudioOutput* delegate);
bool attach_output(apple::SCStream* stream, apple::VantleSckAudioOutput* output,
                   dispatch_queue_t queue);

// stream:didStopWithError: to the delegate, on the calling thread, with an
// error of this description.
void stop_stream(apple::SCStream* stream, std::string_view description);

}  // namespace system_audio::standin
