#pragma once

#include <pulse/channelmap.h>

#include <cstdint>
#include <string>

namespace system_audio::pulse {

// What the capture needs to know of one sink.
struct SinkInfo {
  std::string name;
  std::uint32_t index = 0;  // the server's, named in its sink events
  std::string monitor_source;
  std::uint32_t rate = 0;
  std::uint8_t channels = 0;
  pa_channel_map channel_map{};
};

}  // namespace system_audio::pulse
