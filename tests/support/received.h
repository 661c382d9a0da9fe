#pragma once

// What a capture has sent the frame so far, taken off its channels.

#include <cstring>
#include <string>
#include <vector>

#include "system_audio/frame/messages.h"

namespace system_audio {

inline std::vector<std::string> received_statuses(StatusReceiver& rx) {
  std::vector<std::string> out;
  while (auto text = rx.receive_for({}).message) out.push_back(std::move(*text));
  return out;
}

// The samples of the chunks, joined; `chunks` counts them.
inline std::vector<float> received_samples(PcmReceiver& rx, std::size_t* chunks = nullptr) {
  std::vector<float> out;
  while (auto chunk = rx.receive_for({}).message) {
    out.resize(out.size() + chunk->size() / 4);
    std::memcpy(out.data() + out.size() - chunk->size() / 4, chunk->data(), chunk->size());
    if (chunks) ++*chunks;
  }
  return out;
}

}  // namespace system_audio
