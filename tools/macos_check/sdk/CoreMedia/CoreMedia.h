#pragma once
// Check-only: the CoreMedia names the helper uses (C; macOS 10.7+), as the
// CoreMedia headers declare them (checked against the iOS 16.5 SDK's copy,
// the same across platforms).

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>
#include <stddef.h>
#include <stdint.h>

// CF types: released with CFRelease.
typedef struct opaqueCMSampleBuffer* CMSampleBufferRef;
typedef struct OpaqueCMBlockBuffer* CMBlockBufferRef;
typedef const struct opaqueCMFormatDescription* CMFormatDescriptionRef;
typedef CMFormatDescriptionRef CMAudioFormatDescriptionRef;

typedef int64_t CMTimeValue;
typedef int32_t CMTimeScale;
typedef int64_t CMTimeEpoch;
// CF_OPTIONS(uint32_t, CMTimeFlags), as C++ sees it: the type and its bits.
typedef uint32_t CMTimeFlags;
enum : uint32_t { kCMTimeFlags_Valid = 1UL << 0 };

// The whole of CMTime.h is packed to 4: CMTime is 24 bytes, aligned to 4.
#pragma pack(push, 4)
typedef struct {
  CMTimeValue value;
  CMTimeScale timescale;
  CMTimeFlags flags;
  CMTimeEpoch epoch;
} CMTime;
#pragma pack(pop)

enum { kCMSampleBufferFlag_AudioBufferList_Assure16ByteAlignment = (1L << 0) };

#ifdef __cplusplus
extern "C" {
#endif

CMTime CMTimeMake(int64_t value, int32_t timescale);
extern const CMTime kCMTimeZero;

Boolean CMSampleBufferDataIsReady(CMSampleBufferRef sbuf);
// Get rule: not retained.
CMFormatDescriptionRef _Nullable CMSampleBufferGetFormatDescription(CMSampleBufferRef sbuf);
// Read-only; NULL when the description is not audio.
const AudioStreamBasicDescription* _Nullable CMAudioFormatDescriptionGetStreamBasicDescription(
    CMAudioFormatDescriptionRef desc);
// *blockBufferOut is retained and owns the list's data: CFRelease it when done.
OSStatus CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
    CMSampleBufferRef sbuf, size_t* _Nullable bufferListSizeNeededOut,
    AudioBufferList* _Nullable bufferListOut, size_t bufferListSize,
    CFAllocatorRef _Nullable blockBufferStructureAllocator,
    CFAllocatorRef _Nullable blockBufferBlockAllocator, uint32_t flags,
    CMBlockBufferRef _Nullable* _Nullable blockBufferOut);

#ifdef __cplusplus
}
#endif
