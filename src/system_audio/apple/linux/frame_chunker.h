#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace system_audio::pulse {

// Cuts a byte stream of interleaved float32 frames into pieces of a fixed
// number of whole frames, in order, keeping what is left over for the next
// push: a piece never splits a frame, and no byte is lost or repeated.
class FrameChunker {
 public:
  using PieceSink = std::function<void(std::span<const float> piece)>;

  FrameChunker(std::size_t channels, std::size_t frames_per_piece, PieceSink sink);

  void push(const void* bytes, std::size_t size);
  // A hole in the stream, delivered as that many bytes of silence.
  void push_silence(std::size_t size);

  std::size_t piece_bytes() const { return piece_.size() * sizeof(float); }
  // Bytes waiting for the next piece.
  std::size_t pending_bytes() const { return filled_; }

 private:
  template <class Fill>
  void take(std::size_t size, Fill fill);

  std::vector<float> piece_;
  std::size_t filled_ = 0;  // bytes
  PieceSink sink_;
};

}  // namespace system_audio::pulse
