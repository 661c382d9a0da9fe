#pragma once

#include <string>
#include <vector>

// The screen-capture backend's start diagnostics, in the order it writes them,
// on the display it names ("id=1 size=1920x1080").
inline std::vector<std::string> sck_start_steps(const std::string& display) {
  return {"sck: start",
          "sck: display " + display,
          "sck: create display filter",
          "sck: configure stream",
          "sck: set captures_audio",
          "sck: set excludes_current_process_audio",
          "sck: set sample_rate",
          "sck: set channel_count",
          "sck: set queue_depth",
          "sck: set width",
          "sck: set height",
          "sck: set minimum_frame_interval",
          "sck: create output/delegate",
          "sck: create stream",
          "sck: attach audio output",
          "sck: start capture request",
          "sck: ready"};
}
