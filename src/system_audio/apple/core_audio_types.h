#pragma once

// The two CoreAudio records that the conversion path reads as plain data, on
// their own so that it needs nothing else of the Apple API. On macOS the SDK's
// own definitions take their place; elsewhere these copies keep the same field
// names and the same layout.

#include <cstddef>

#if defined(__APPLE__)
#include <CoreAudio/CoreAudioTypes.h>
#else
#include <cstdint>

struct AudioBuffer {
  std::uint32_t mNumberChannels;
  std::uint32_t mDataByteSize;
  void* mData;
};

// Variable length: mNumberBuffers records follow, of which only the first is
// declared. Read the records through a pointer, never by indexing mBuffers.
struct AudioBufferList {
  std::uint32_t mNumberBuffers;
  AudioBuffer mBuffers[1];
};

struct AudioStreamBasicDescription {
  double mSampleRate;
  std::uint32_t mFormatID;
  std::uint32_t mFormatFlags;
  std::uint32_t mBytesPerPacket;
  std::uint32_t mFramesPerPacket;
  std::uint32_t mBytesPerFrame;
  std::uint32_t mChannelsPerFrame;
  std::uint32_t mBitsPerChannel;
  std::uint32_t mReserved;
};

constexpr std::uint32_t kAudioFormatLinearPCM = 0x6c70636d;  // 'lpcm'
constexpr std::uint32_t kAudioFormatFlagIsFloat = 1u << 0;
constexpr std::uint32_t kAudioFormatFlagIsPacked = 1u << 3;
constexpr std::uint32_t kAudioFormatFlagIsNonInterleaved = 1u << 5;
#endif

static_assert(sizeof(AudioStreamBasicDescription) == 40);
static_assert(sizeof(AudioBuffer) == 16);
static_assert(offsetof(AudioBufferList, mBuffers) == 8);
