// The cutting of the record stream into IO cycles: whole frames, fixed size,
// in order, nothing lost, holes as silence.

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "system_audio/coreaudio/standin/pulse/frame_chunker.h"
#include "system_audio/coreaudio/standin/pulse/pulse_capture.h"

namespace {

using system_audio::pulse::FrameChunker;
using Floats = std::vector<float>;

Floats ramp(std::size_t count, float start = 1.0f) {
  Floats values(count);
  std::iota(values.begin(), values.end(), start);
  return values;
}

// A chunker whose pieces are kept; values are pushed as raw bytes in slices
// of the given byte sizes, cycling.
struct Chunked {
  std::vector<Floats> pieces;
  FrameChunker chunker;
  Chunked(std::size_t channels, std::size_t frames)
      : chunker(channels, frames, [this](std::span<const float> piece) {
          pieces.emplace_back(piece.begin(), piece.end());
        }) {}
  void push(const Floats& values, const std::vector<std::size_t>& slices = {1 << 20}) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
    const std::size_t total = values.size() * sizeof(float);
    for (std::size_t i = 0, offset = 0; offset < total; ++i) {
      const std::size_t size = std::min(slices[i % slices.size()], total - offset);
      chunker.push(bytes + offset, size);
      offset += size;
    }
  }
  Floats joined() const {
    Floats all;
    for (const auto& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
  }
};

TEST(FrameChunker, GivesWholeOrderedPiecesAndKeepsTheLeftoverForTheNextPush) {
  const struct {
    std::size_t channels, frames, values;
    std::vector<std::size_t> slices;
  } cases[] = {
      {2, 4, 8 * 5, {3, 13, 1, 7, 29}},  // slices split samples and frames
      {2, 4, 8 + 3, {2}},
      {1, 480, 480 * 7 + 100, {1 << 20}},  // one large push
  };
  for (const auto& c : cases) {
    Chunked chunked(c.channels, c.frames);
    const Floats values = ramp(c.values);
    chunked.push(values, c.slices);
    const std::size_t piece = c.channels * c.frames;
    ASSERT_EQ(chunked.pieces.size(), c.values / piece) << c.values;
    for (const auto& p : chunked.pieces) EXPECT_EQ(p.size(), piece);
    EXPECT_EQ(chunked.joined(), Floats(values.begin(), values.end() - c.values % piece));
    EXPECT_EQ(chunked.chunker.pending_bytes(), c.values % piece * sizeof(float));
  }
}

TEST(FrameChunker, TheLeftoverLeadsTheNextPiece) {
  Chunked chunked(2, 4);
  chunked.push(ramp(8 + 3));
  chunked.push(ramp(5, 12.0f), {2});
  ASSERT_EQ(chunked.pieces.size(), 2u);
  EXPECT_EQ(chunked.pieces[1], (Floats{9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST(FrameChunker, AHoleBecomesSilenceInItsPlace) {
  Chunked chunked(2, 2);
  chunked.push(ramp(3));
  chunked.chunker.push_silence(3 * sizeof(float));
  chunked.push(ramp(2, 50.0f));
  EXPECT_EQ(chunked.joined(), (Floats{1, 2, 3, 0, 0, 0, 50, 51}));
}

TEST(FrameChunker, ZeroChannelsOrFramesStillMakeNonEmptyPieces) {
  Chunked chunked(0, 0);
  chunked.push(ramp(3), {4});
  EXPECT_EQ(chunked.pieces.size(), 3u);
}

TEST(FramesPerPiece, AboutTenMillisecondsAtCommonRates) {
  using system_audio::pulse::frames_per_piece;
  EXPECT_EQ(frames_per_piece(48000), 480u);
  EXPECT_EQ(frames_per_piece(44100), 441u);
  EXPECT_EQ(frames_per_piece(16000), 160u);
  EXPECT_EQ(frames_per_piece(50), 1u);
}

}  // namespace
