#pragma once

// A scripted ScreenCaptureKit for tests, over the stand-in's shared objects: it
// answers the content request, the attach and the start as the script says.
// Calls go to the same log and ledger as the rest of the fake.

#include <string>
#include <vector>

#include "system_audio/apple/standin/screen_capture.h"

namespace system_audio::fake {

enum class ContentAnswer {
  content,             // the displays below
  error,               // an NSError with content_error
  content_and_error,   // both
  neither,             // nil, nil
  kept,                // never, until answer_kept()
  broken_before_wait,  // an exception inside the handler's lock, before the request returns
  broken_in_wait,      // the same, once the start waits
};

enum class StartAnswer {
  started,  // nil
  error,    // an NSError with start_error
  kept,     // never, until answer_kept()
  dropped,  // the handler is released without a call
};

struct ScreenCaptureScript {
  ContentAnswer content = ContentAnswer::content;
  std::vector<standin::DisplayFacts> displays = {{69733382, 3024, 1964}};
  std::string content_error = "The user declined TCCs for application, window, display capture";
  bool attach = true;
  std::string attach_error = "The operation couldn't be completed. (invalid output)";
  StartAnswer start = StartAnswer::started;
  std::string start_error = "Failed to start the audio capture";
};

ScreenCaptureScript& screen_capture_script();

// Answers a kept content handler with content, or a kept start handler with
// nil, on the calling thread, and releases it.
void answer_kept();

// Joins the answering threads, releases kept handlers, restores the script.
void reset_screen_capture();

}  // namespace system_audio::fake
