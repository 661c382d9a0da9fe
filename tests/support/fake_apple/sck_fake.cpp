#include "sck_fake.h"

#include <chrono>
#include <thread>

#include "system_audio/apple/audio_output_class.h"

namespace system_audio::fake {
namespace {

using namespace apple;

struct State {
  ScreenCaptureScript script;
  std::vector<std::thread> answers;  // framework threads answering after the call returned
  const void* kept_content = nullptr;
  const void* kept_start = nullptr;
  VantleSckAudioOutput* output = nullptr;  // attached, without a reference
};

State& state() {
  static State instance;
  return instance;
}

void answer_content(const void* handler, const ScreenCaptureScript& script, ContentAnswer answer) {
  using A = ContentAnswer;
  const void* content = nullptr;
  NSError* error = nullptr;
  if (answer == A::content) content = standin::make_shareable_content(script.displays);
  if (answer == A::error) error = standin::make_error(script.content_error);
  standin::invoke_block<SCShareableContentCompletionHandlerInvoke>(
      handler, static_cast<SCShareableContent*>(const_cast<void*>(content)), error);
  for (const void* made : {content, static_cast<const void*>(error), handler}) {
    if (made != nullptr) standin::release(made);
  }
}

void answer_start(const void* handler, NSError* error) {
  standin::invoke_block<SCStreamCompletionHandlerInvoke>(handler, error);
  if (error != nullptr) standin::release(error);
  standin::release(handler);
}

}  // namespace

ScreenCaptureScript& screen_capture_script() {
  return state().script;
}

void answer_kept() {
  State& s = state();
  if (const void* handler = std::exchange(s.kept_content, nullptr)) {
    answer_content(handler, s.script, ContentAnswer::content);
  }
  if (const void* handler = std::exchange(s.kept_start, nullptr)) answer_start(handler, nullptr);
}

void call_output_late(CMSampleBufferRef sample_buffer) {
  VantleSckAudioOutput* output = state().output;
  stream_did_output_sample_buffer(output, nullptr, sample_buffer, SCStreamOutputTypeAudio);
  NSError* error = standin::make_error("The stream was stopped by the system");
  stream_did_stop_with_error(output, nullptr, error);
  standin::release(error);
}

void reset_screen_capture() {
  State& s = state();
  for (std::thread& answer : s.answers) answer.join();
  for (const void* kept : {s.kept_content, s.kept_start}) {
    if (kept != nullptr) standin::release(kept);
  }
  s = {};
}

}  // namespace system_audio::fake

namespace system_audio::apple {

void SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_completionHandler(
    BOOL, BOOL, SCShareableContentCompletionHandler completionHandler) {
  standin::retain(completionHandler);
  const fake::ScreenCaptureScript script = fake::state().script;
  if (script.content == fake::ContentAnswer::kept) {
    fake::state().kept_content = completionHandler;
  } else {
    fake::state().answers.emplace_back(
        [=] { fake::answer_content(completionHandler, script, script.content); });
  }
}

SCStream* SCStream_initWithFilter_configuration_delegate(SCStream* self, SCContentFilter* filter,
                                                         SCStreamConfiguration* configuration,
                                                         VantleSckAudioOutput* delegate) {
  if (!standin::called("SCStream_initWithFilter_configuration_delegate", self)) {
    standin::release(self);
    return nullptr;
  }
  return standin::init_stream(self, filter, configuration, delegate);
}

BOOL SCStream_addStreamOutput_type_sampleHandlerQueue_error(SCStream* self,
                                                            VantleSckAudioOutput* output,
                                                            SCStreamOutputType,
                                                            dispatch_queue_t queue,
                                                            NSError** error) {
  if (!standin::called("SCStream_addStreamOutput_type_sampleHandlerQueue_error", self)) {
    return false;
  }
  if (fake::state().script.attach) {
    fake::state().output = output;
    return standin::attach_output(self, output, queue);
  }
  *error = standin::make_error(fake::state().script.attach_error);
  return false;
}

void SCStream_startCaptureWithCompletionHandler(SCStream* self,
                                                SCStreamCompletionHandler completionHandler) {
  if (!standin::called("SCStream_startCaptureWithCompletionHandler", self)) return;
  standin::retain(completionHandler);
  const fake::ScreenCaptureScript& script = fake::state().script;
  if (script.start == fake::StartAnswer::kept) {
    fake::state().kept_start = completionHandler;
  } else if (script.start == fake::StartAnswer::dropped) {
    standin::release(completionHandler);
  } else {
    const bool fails = script.start == fake::StartAnswer::error;
    fake::state().answers.emplace_back([=, text = script.start_error] {
      fake::answer_start(completionHandler, fails ? standin::make_error(text) : nullptr);
    });
  }
}

}  // namespace system_audio::apple
