#include "system_audio/apple/linux/frame_chunker.h"

#include <algorithm>
#include <cstring>

namespace system_audio::pulse {

FrameChunker::FrameChunker(std::size_t channels, std::size_t frames_per_piece, PieceSink sink)
    : piece_(std::max<std::size_t>(channels, 1) * std::max<std::size_t>(frames_per_piece, 1)),
      sink_(std::move(sink)) {}

template <class Fill>
void FrameChunker::take(std::size_t size, Fill fill) {
  const std::size_t capacity = piece_bytes();
  auto* storage = reinterpret_cast<unsigned char*>(piece_.data());
  std::size_t offset = 0;
  while (offset < size) {
    const std::size_t step = std::min(capacity - filled_, size - offset);
    fill(storage + filled_, offset, step);
    filled_ += step;
    offset += step;
    if (filled_ == capacity) {
      filled_ = 0;
      sink_(std::span<const float>(piece_));
    }
  }
}

void FrameChunker::push(const void* bytes, std::size_t size) {
  const auto* source = static_cast<const unsigned char*>(bytes);
  take(size, [source](unsigned char* to, std::size_t from, std::size_t n) {
    std::memcpy(to, source + from, n);
  });
}

void FrameChunker::push_silence(std::size_t size) {
  take(size, [](unsigned char* to, std::size_t, std::size_t n) { std::memset(to, 0, n); });
}

}  // namespace system_audio::pulse
