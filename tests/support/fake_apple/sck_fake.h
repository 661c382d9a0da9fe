#pragma once

// A scripted ScreenCaptureKit for tests, over the stand-in's shared objects: it
// answers the content request, the attach and the start as the script says.
// Calls go to the same log and ledger as the rest of the fake. Its sample
// buffers answer the CoreMedia calls as their SampleBufferSpec scripts.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "system_audio/apple/standin/screen_capture.h"

namespace system_audio::fake {

enum class ContentAnswer {
  content,  // the displays below
  error,    // an NSError with content_error
  neither,  // nil, nil
  kept,     // never, until answer_kept()
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

// One audio sample buffer: mono f32 samples and how the CoreMedia calls answer
// for it (the defaults: a ready buffer with a format description).
struct SampleBufferSpec {
  std::vector<float> samples;
  double rate = 48000.0;
  bool ready = true;
  bool format_description = true;
  bool stream_description = true;
  OSStatus size_status = 0;
  std::optional<std::size_t> size{};  // what the size query reports; default: the list's size
  OSStatus fill_status = 0;           // a failing fill still hands out its block buffer
};
CMSampleBufferRef make_sample_buffer(SampleBufferSpec spec);  // +1, CFRelease

// Answers a kept content handler with content, or a kept start handler with
// nil, on the calling thread, and releases it.
void answer_kept();

// ScreenCaptureKit calling the attached output (a sample buffer, then a stop)
// after the start let go of it, as it may: held without a reference.
void call_output_late(CMSampleBufferRef sample_buffer);

// Joins the answering threads, releases kept handlers, restores the script.
void reset_screen_capture();

}  // namespace system_audio::fake
