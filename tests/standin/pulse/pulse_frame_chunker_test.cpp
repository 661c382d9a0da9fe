// The cutting of the record stream into IO cycles: whole frames, fixed size,
// in order, nothing lost, holes as silence.

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "system_audio/coreaudio/standin/pulse/frame_chunker.h"
#include "system_audio/coreaudio/standin/pulse/pulse_capture.h"

namespace {

using system_audio::pulse::FrameChunker;

struct Pieces {
  std::vector<std::vector<float>> list;
  FrameChunker::PieceSink sink() {
    return [this](std::span<const float> piece) { list.emplace_back(piece.begin(), piece.end()); };
  }
  std::vector<float> joined() const {
    std::vector<float> all;
    for (const auto& piece : list) all.insert(all.end(), piece.begin(), piece.end());
    return all;
  }
};

std::vector<float> ramp(std::size_t count, float start = 1.0f) {
  std::vector<float> values(count);
  std::iota(values.begin(), values.end(), start);
  return values;
}

// Pushes values as raw bytes in slices of the given byte sizes, cycling.
void push_in_slices(FrameChunker& chunker, const std::vector<float>& values,
                    const std::vector<std::size_t>& slice_sizes) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
  const std::size_t total = values.size() * sizeof(float);
  std::size_t offset = 0;
  for (std::size_t i = 0; offset < total; ++i) {
    const std::size_t size = std::min(slice_sizes[i % slice_sizes.size()], total - offset);
    chunker.push(bytes + offset, size);
    offset += size;
  }
}

TEST(FrameChunker, SlicesThatSplitSamplesAndFramesStillGiveWholeOrderedPieces) {
  Pieces pieces;
  FrameChunker chunker(2, 4, pieces.sink());  // 8 floats, 32 bytes a piece
  const auto values = ramp(8 * 5);
  push_in_slices(chunker, values, {3, 13, 1, 7, 29});

  ASSERT_EQ(pieces.list.size(), 5u);
  for (const auto& piece : pieces.list) EXPECT_EQ(piece.size(), 8u);
  EXPECT_EQ(pieces.joined(), values);
  EXPECT_EQ(chunker.pending_bytes(), 0u);
}

TEST(FrameChunker, LeftoverWaitsForTheNextPushAndIsNotDeliveredEarly) {
  Pieces pieces;
  FrameChunker chunker(2, 4, pieces.sink());
  const auto values = ramp(8 + 3);
  push_in_slices(chunker, values, {1000});
  ASSERT_EQ(pieces.list.size(), 1u);
  EXPECT_EQ(chunker.pending_bytes(), 3 * sizeof(float));

  const auto more = ramp(5, 12.0f);
  push_in_slices(chunker, more, {2});
  ASSERT_EQ(pieces.list.size(), 2u);
  EXPECT_EQ(pieces.list[1], (std::vector<float>{9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST(FrameChunker, OneLargePushGivesEveryPieceItHolds) {
  Pieces pieces;
  FrameChunker chunker(1, 480, pieces.sink());
  const auto values = ramp(480 * 7 + 100);
  push_in_slices(chunker, values, {values.size() * sizeof(float)});
  ASSERT_EQ(pieces.list.size(), 7u);
  EXPECT_EQ(pieces.joined(), std::vector<float>(values.begin(), values.begin() + 480 * 7));
}

TEST(FrameChunker, AHoleBecomesSilenceInItsPlace) {
  Pieces pieces;
  FrameChunker chunker(2, 2, pieces.sink());  // 4 floats a piece
  const auto before = ramp(3);
  push_in_slices(chunker, before, {1000});
  chunker.push_silence(3 * sizeof(float));
  const auto after = ramp(2, 50.0f);
  push_in_slices(chunker, after, {1000});

  EXPECT_EQ(pieces.joined(), (std::vector<float>{1, 2, 3, 0, 0, 0, 50, 51}));
}

TEST(FrameChunker, ZeroChannelsOrFramesStillMakeNonEmptyPieces) {
  Pieces pieces;
  FrameChunker chunker(0, 0, pieces.sink());
  const auto values = ramp(3);
  push_in_slices(chunker, values, {4});
  EXPECT_EQ(pieces.list.size(), 3u);
}

TEST(FramesPerPiece, AboutTenMillisecondsAtCommonRates) {
  using system_audio::pulse::frames_per_piece;
  EXPECT_EQ(frames_per_piece(48000), 480u);
  EXPECT_EQ(frames_per_piece(44100), 441u);
  EXPECT_EQ(frames_per_piece(16000), 160u);
  EXPECT_EQ(frames_per_piece(50), 1u);
}

}  // namespace
