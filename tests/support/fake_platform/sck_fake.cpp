#include "sck_fake.h"

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace system_audio::fake {
namespace {

using namespace platform;
using ContentInvoke = SCShareableContentCompletionHandlerInvoke;
using StartInvoke = SCStreamCompletionHandlerInvoke;

struct State {
  std::mutex mutex;
  ScreenCaptureScript script;
  std::vector<std::thread> answers;
  std::vector<const void*> kept_content;
  std::vector<const void*> kept_start;
  SCStream* stream = nullptr;
};

State& state() {
  static State instance;
  return instance;
}

// Content that fails when the backend first touches it: its retain, reported
// to the log, cannot describe it.
struct BreakingContent {};
std::string describe(const BreakingContent&) {
  throw std::runtime_error("content handler failed inside the slot's lock");
}

void answer_content(const void* handler, const ScreenCaptureScript& script, ContentAnswer answer) {
  const void* content = nullptr;
  NSError* error = nullptr;
  if (answer == ContentAnswer::content || answer == ContentAnswer::content_and_error) {
    content = standin::make_shareable_content(script.displays);
  }
  if (answer == ContentAnswer::error || answer == ContentAnswer::content_and_error) {
    error = standin::make_error(script.content_error);
  }
  if (answer == ContentAnswer::broken_before_wait || answer == ContentAnswer::broken_in_wait) {
    content = standin::make_object(BreakingContent{}, "NSObject_release");
  }
  standin::invoke_block<ContentInvoke>(
      handler, static_cast<SCShareableContent*>(const_cast<void*>(content)), error);
  for (const void* made : {content, static_cast<const void*>(error), handler}) {
    if (made != nullptr) standin::release(made, "internal");
  }
}

void answer_start(const void* handler, NSError* error) {
  standin::invoke_block<StartInvoke>(handler, error);
  if (error != nullptr) standin::release(error, "internal");
  standin::release(handler, "internal");
}

}  // namespace

ScreenCaptureScript& screen_capture_script() {
  return state().script;
}

void answer_kept_content() {
  std::vector<const void*> kept = std::exchange(state().kept_content, {});
  for (const void* handler : kept) answer_content(handler, state().script, ContentAnswer::content);
}

void answer_kept_start() {
  std::vector<const void*> kept = std::exchange(state().kept_start, {});
  for (const void* handler : kept) answer_start(handler, nullptr);
}

SCStream* last_stream() {
  return state().stream;
}

void reset_screen_capture() {
  State& s = state();
  for (std::thread& answer : s.answers) answer.join();
  s.answers.clear();
  for (const void* handler : std::exchange(s.kept_content, {}))
    standin::release(handler, "internal");
  for (const void* handler : std::exchange(s.kept_start, {})) standin::release(handler, "internal");
  s.script = {};
  s.stream = nullptr;
}

}  // namespace system_audio::fake

namespace system_audio::platform {

using fake::ContentAnswer;
using fake::StartAnswer;

void SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_completionHandler(
    BOOL excludeDesktopWindows, BOOL onScreenWindowsOnly,
    SCShareableContentCompletionHandler completionHandler) {
  standin::call(
      "SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_"
      "completionHandler",
      excludeDesktopWindows, onScreenWindowsOnly, completionHandler);
  fake::State& s = fake::state();
  standin::retain(completionHandler, "Block_copy");
  const fake::ScreenCaptureScript script = s.script;
  switch (script.content) {
    case ContentAnswer::kept:
      s.kept_content.push_back(completionHandler);
      return;
    case ContentAnswer::broken_before_wait:
      std::thread([=] { fake::answer_content(completionHandler, script, script.content); }).join();
      return;
    case ContentAnswer::broken_in_wait:
      s.answers.emplace_back([=] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fake::answer_content(completionHandler, script, script.content);
      });
      return;
    default:
      s.answers.emplace_back(
          [=] { fake::answer_content(completionHandler, script, script.content); });
  }
}

SCStream* SCStream_initWithFilter_configuration_delegate(SCStream* self, SCContentFilter* filter,
                                                         SCStreamConfiguration* configuration,
                                                         VantleSckAudioOutput* delegate) {
  if (!standin::call("SCStream_initWithFilter_configuration_delegate", self, filter, configuration,
                     delegate)) {
    if (self != nullptr) standin::release(self, "internal");
    return nullptr;
  }
  return fake::state().stream = standin::init_stream(self, filter, configuration, delegate);
}

BOOL SCStream_addStreamOutput_type_sampleHandlerQueue_error(SCStream* self,
                                                            VantleSckAudioOutput* output,
                                                            SCStreamOutputType type,
                                                            dispatch_queue_t sampleHandlerQueue,
                                                            NSError** error) {
  standin::call("SCStream_addStreamOutput_type_sampleHandlerQueue_error", self, output, long(type),
                static_cast<const void*>(sampleHandlerQueue), error ? "error out" : "NULL");
  if (fake::state().script.attach) return standin::attach_output(self, output, sampleHandlerQueue);
  if (error != nullptr) *error = standin::make_error(fake::state().script.attach_error);
  return false;
}

void SCStream_startCaptureWithCompletionHandler(SCStream* self,
                                                SCStreamCompletionHandler completionHandler) {
  standin::call("SCStream_startCaptureWithCompletionHandler", self, completionHandler);
  fake::State& s = fake::state();
  standin::retain(completionHandler, "Block_copy");
  switch (s.script.start) {
    case StartAnswer::kept:
      s.kept_start.push_back(completionHandler);
      return;
    case StartAnswer::dropped:
      standin::release(completionHandler, "internal");
      return;
    case StartAnswer::error:
      s.answers.emplace_back([completionHandler, text = s.script.start_error] {
        fake::answer_start(completionHandler, standin::make_error(text));
      });
      return;
    case StartAnswer::started:
      s.answers.emplace_back(
          [completionHandler] { fake::answer_start(completionHandler, nullptr); });
  }
}

}  // namespace system_audio::platform
