#pragma once
// Check-only: the records and format constants the helper reads, from
// <CoreAudioTypes/CoreAudioBaseTypes.h> of the macOS 14.2 SDK (reached through
// <CoreAudio/CoreAudioTypes.h>). Names marked "(not checked)" are not among
// the facts checked against the SDK.

#include <MacTypes.h>

typedef UInt32 AudioFormatID;
typedef UInt32 AudioFormatFlags;

typedef struct AudioStreamBasicDescription {
  Float64 mSampleRate;
  AudioFormatID mFormatID;
  AudioFormatFlags mFormatFlags;
  UInt32 mBytesPerPacket;
  UInt32 mFramesPerPacket;
  UInt32 mBytesPerFrame;
  UInt32 mChannelsPerFrame;
  UInt32 mBitsPerChannel;
  UInt32 mReserved;
} AudioStreamBasicDescription;

typedef struct AudioBuffer {
  UInt32 mNumberChannels;
  UInt32 mDataByteSize;
  void* _Nullable mData;
} AudioBuffer;

// Variable length: mNumberBuffers records follow.
typedef struct AudioBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
} AudioBufferList;

// Only passed through by the helper (its fields not checked).
typedef struct AudioTimeStamp AudioTimeStamp;

enum : AudioFormatID { kAudioFormatLinearPCM = 0x6C70636D };  // 'lpcm'

enum : AudioFormatFlags {
  kAudioFormatFlagIsFloat = (1U << 0),
  kAudioFormatFlagIsBigEndian = (1U << 1),
  kAudioFormatFlagIsSignedInteger = (1U << 2),
  kAudioFormatFlagIsPacked = (1U << 3),
  kAudioFormatFlagIsNonInterleaved = (1U << 5),
};

enum : OSStatus { kAudio_ParamError = -50 };  // (not checked)
