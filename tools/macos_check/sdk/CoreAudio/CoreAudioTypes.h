#pragma once
// Check-only: the CoreAudio records and format constants the helper reads.
// https://developer.apple.com/documentation/coreaudiotypes/audiostreambasicdescription
// https://developer.apple.com/documentation/coreaudiotypes/audiobuffer
// https://developer.apple.com/documentation/coreaudiotypes/audiobufferlist
// https://developer.apple.com/documentation/coreaudiotypes/audio-format-flags
// (field order and 'lpcm' unverified; layouts stable since 10.0)

#include <MacTypes.h>

typedef UInt32 AudioFormatID;
typedef UInt32 AudioFormatFlags;

struct AudioStreamBasicDescription {
  Float64 mSampleRate;
  AudioFormatID mFormatID;
  AudioFormatFlags mFormatFlags;
  UInt32 mBytesPerPacket;
  UInt32 mFramesPerPacket;
  UInt32 mBytesPerFrame;
  UInt32 mChannelsPerFrame;
  UInt32 mBitsPerChannel;
  UInt32 mReserved;
};

struct AudioBuffer {
  UInt32 mNumberChannels;
  UInt32 mDataByteSize;
  void* mData;
};

// Variable length: mNumberBuffers records follow.
struct AudioBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
};

// Only passed through by the helper.
// https://developer.apple.com/documentation/coreaudiotypes/audiotimestamp
struct AudioTimeStamp;

enum : AudioFormatID { kAudioFormatLinearPCM = 0x6C70636D };  // 'lpcm'

// https://developer.apple.com/documentation/coreaudiotypes/kaudioformatflagispacked
enum : AudioFormatFlags {
  kAudioFormatFlagIsFloat = (1U << 0),
  kAudioFormatFlagIsBigEndian = (1U << 1),
  kAudioFormatFlagIsSignedInteger = (1U << 2),
  kAudioFormatFlagIsPacked = (1U << 3),
  kAudioFormatFlagIsNonInterleaved = (1U << 5),
};

// https://developer.apple.com/documentation/coreaudiotypes/kaudio_paramerror (unverified)
enum : OSStatus { kAudio_ParamError = -50 };
