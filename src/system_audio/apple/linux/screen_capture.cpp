// ScreenCaptureKit over the audio server: the content request, the attach and
// the start of a stream. The audio does not depend on a display, so the content
// holds one virtual display standing for the machine's output; a started
// stream records the default sink's monitor and hands its blocks to the
// output as they come, with no sample buffer made around them: this binding
// has none, and its CoreMedia calls find none.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "system_audio/apple/audio_output_class.h"
#include "system_audio/apple/linux/stream_audio.h"
#include "system_audio/apple/standin/screen_capture.h"

namespace system_audio::apple {
namespace {

using pulse::StreamAudio;

// The one display: id 1 and ScreenCaptureKit's default stream size.
constexpr standin::DisplayFacts kMachineOutput{1, 1920, 1080};

// What the stream asks of the audio, fixed when the stream is made: the
// framework copies the configuration. Values the server cannot take become 0,
// which the start then reports.
pulse::AudioRequest audio_request(const standin::ConfigurationPayload& configuration) {
  pulse::AudioRequest request;
  request.captures_audio = configuration.captures_audio;
  const auto fits = [](NSInteger value, NSInteger most) { return value > 0 && value <= most; };
  request.rate = fits(configuration.sample_rate, INT32_MAX) ? configuration.sample_rate : 0;
  request.channels = fits(configuration.channel_count, UINT8_MAX) ? configuration.channel_count : 0;
  return request;
}

StreamAudio* audio_of(SCStream* stream) {
  auto* payload = standin::payload_of<standin::StreamPayload>(stream);
  return payload != nullptr ? static_cast<StreamAudio*>(payload->binding.get()) : nullptr;
}

// The stream's blocks, to its output. The stream holds the output past its
// audio: the binding state goes first when the stream goes, and no call is
// made after that.
void deliver_audio(void* stream, const AudioBufferList& block, double rate) {
  auto* self = static_cast<SCStream*>(stream);
  const auto* output = standin::payload_of<standin::StreamPayload>(self)->output.object;
  stream_did_output_audio(static_cast<VantleSckAudioOutput*>(const_cast<void*>(output)), self,
                          block, rate);
}

void report_stop(void* stream, const char* server_text) {
  standin::stop_stream(static_cast<SCStream*>(stream), server_text);
}

// A handler copied as the framework copies one it keeps, released once it has
// been called or never will be.
template <class Block>
std::shared_ptr<std::remove_pointer_t<Block>> keep(Block block) {
  if (block == nullptr) return nullptr;
  return {Block_copy(block), [](Block held) { Block_release(held); }};
}

BOOL refuse(NSError** error, const char* text) {
  if (error != nullptr) *error = standin::make_error(text);
  return false;
}

}  // namespace

void SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_completionHandler(
    BOOL, BOOL, SCShareableContentCompletionHandler completionHandler) {
  auto handler = keep(completionHandler);
  if (!handler) return;
  pulse::ask_server([handler](std::optional<std::string> server_error) {
    SCShareableContent* content = nullptr;
    NSError* error = nullptr;
    if (server_error) {
      error = standin::make_error(*server_error);
    } else {
      content = standin::make_shareable_content({kMachineOutput});
    }
    standin::invoke_block<SCShareableContentCompletionHandlerInvoke>(handler.get(), content, error);
    // Borrowed for the call, as on the platform.
    if (content != nullptr) standin::release(content);
    if (error != nullptr) standin::release(error);
  });
}

SCStream* SCStream_initWithFilter_configuration_delegate(SCStream* self, SCContentFilter* filter,
                                                         SCStreamConfiguration* configuration,
                                                         VantleSckAudioOutput* delegate) {
  SCStream* stream = standin::init_stream(self, filter, configuration, delegate);
  if (stream == nullptr) return nullptr;
  const auto* settings = standin::payload_of<standin::ConfigurationPayload>(configuration);
  standin::payload_of<standin::StreamPayload>(stream)->binding =
      std::make_shared<StreamAudio>(audio_request(*settings));
  return stream;
}

BOOL SCStream_addStreamOutput_type_sampleHandlerQueue_error(SCStream* self,
                                                            VantleSckAudioOutput* output,
                                                            SCStreamOutputType type,
                                                            dispatch_queue_t queue,
                                                            NSError** error) {
  if (self == nullptr) return false;
  StreamAudio* audio = audio_of(self);
  if (audio == nullptr) return refuse(error, "the stream is not initialised");
  if (type != SCStreamOutputTypeAudio) {
    return refuse(error, "only audio output is captured on this system");
  }
  if (queue == nullptr) return refuse(error, "a sample handler queue is needed");
  if (!standin::attach_output(self, output, queue)) {
    return refuse(error, "the output cannot be added to this stream");
  }
  audio->attach({&deliver_audio, &report_stop, self});
  return true;
}

void SCStream_startCaptureWithCompletionHandler(SCStream* self,
                                                SCStreamCompletionHandler completionHandler) {
  if (self == nullptr) return;
  auto report = [handler = keep(completionHandler)](std::optional<std::string> server_error) {
    if (!handler) return;
    NSError* error = server_error ? standin::make_error(*server_error) : nullptr;
    standin::invoke_block<SCStreamCompletionHandlerInvoke>(handler.get(), error);
    if (error != nullptr) standin::release(error);
  };
  StreamAudio* audio = audio_of(self);
  if (audio == nullptr) {
    report("the stream is not initialised");
    return;
  }
  audio->start(std::move(report));
}

}  // namespace system_audio::apple

// No sample buffer exists here: the stream hands its blocks over without one.
Boolean CMSampleBufferDataIsReady(CMSampleBufferRef) {
  return false;
}
CMFormatDescriptionRef CMSampleBufferGetFormatDescription(CMSampleBufferRef) {
  return nullptr;
}
const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(
    CMAudioFormatDescriptionRef) {
  return nullptr;
}
OSStatus CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(CMSampleBufferRef, std::size_t*,
                                                                 AudioBufferList*, std::size_t,
                                                                 CFAllocatorRef, CFAllocatorRef,
                                                                 UInt32, CMBlockBufferRef*) {
  return kAudio_ParamError;
}
