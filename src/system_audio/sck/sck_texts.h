#pragma once

#include <chrono>

namespace system_audio::sck_texts {

// One wait for the shareable content; a wake-up without a value starts another.
inline constexpr auto CONTENT_WAIT = std::chrono::seconds(6);
// From the start request to the start handler's answer.
inline constexpr auto START_WAIT = std::chrono::seconds(5);

inline constexpr char CONTENT_LOCK_POISONED[] = "ScreenCaptureKit content wait lock was poisoned";
inline constexpr char CONTENT_WAIT_POISONED[] = "ScreenCaptureKit content wait was poisoned";
inline constexpr char CONTENT_TIMED_OUT[] =
    "ScreenCaptureKit content callback timed out; Screen Recording permission may be missing";
inline constexpr char CONTENT_FAILED[] = "ScreenCaptureKit content access failed: ";
inline constexpr char CONTENT_NEITHER[] = "ScreenCaptureKit returned neither content nor an error";
inline constexpr char NO_DISPLAY[] = "ScreenCaptureKit did not report an available display";
inline constexpr char ATTACH_FAILED[] = "attach ScreenCaptureKit audio output failed: ";
inline constexpr char START_FAILED[] = "ScreenCaptureKit audio capture failed to start: ";
inline constexpr char START_TIMED_OUT[] =
    "ScreenCaptureKit start callback timed out before computer audio became ready";
inline constexpr char STREAM_STOPPED[] = "failed: ScreenCaptureKit stream stopped: ";

}  // namespace system_audio::sck_texts
