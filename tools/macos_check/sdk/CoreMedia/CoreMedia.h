#pragma once
// Check-only: the CoreMedia names the helper uses (C).

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>
#include <stddef.h>
#include <stdint.h>

// CF types: released with CFRelease.
typedef struct opaqueCMSampleBuffer* CMSampleBufferRef;
typedef struct OpaqueCMBlockBuffer* CMBlockBufferRef;
typedef const struct opaqueCMFormatDescription* CMFormatDescriptionRef;
typedef CMFormatDescriptionRef CMAudioFormatDescriptionRef;

// https://developer.apple.com/documentation/coremedia/cmtime (URL pattern)
typedef int64_t CMTimeValue;
typedef int32_t CMTimeScale;
typedef int64_t CMTimeEpoch;
typedef uint32_t CMTimeFlags;
typedef struct {
  CMTimeValue value;
  CMTimeScale timescale;
  CMTimeFlags flags;
  CMTimeEpoch epoch;
} CMTime;

// https://developer.apple.com/documentation/coremedia/kcmsamplebufferflag_audiobufferlist_assure16bytealignment
// (value 1 from the apple-cf binding docs)
enum : uint32_t { kCMSampleBufferFlag_AudioBufferList_Assure16ByteAlignment = (1L << 0) };

extern "C" {

// .../coremedia/cmtimemake(value:timescale:) (URL pattern, 10.7+)
CMTime CMTimeMake(int64_t value, int32_t timescale);
extern const CMTime kCMTimeZero;

// .../coremedia/cmsamplebufferdataisready(_:) (URL pattern, 10.7+ unverified)
Boolean CMSampleBufferDataIsReady(CMSampleBufferRef sbuf);
// .../coremedia/cmsamplebuffergetformatdescription(_:) (URL pattern): Get rule, not retained
CMFormatDescriptionRef CMSampleBufferGetFormatDescription(CMSampleBufferRef sbuf);
// https://developer.apple.com/documentation/coremedia/cmaudioformatdescriptiongetstreambasicdescription(_:)
// Read-only; NULL when the description is not audio.
const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(
    CMAudioFormatDescriptionRef desc);
// https://developer.apple.com/documentation/coremedia/cmsamplebuffergetaudiobufferlistwithretainedblockbuffer(_:bufferlistsizeneededout:bufferlistout:bufferlistsize:blockbufferallocator:blockbuffermemoryallocator:flags:blockbufferout:)
// *blockBufferOut is retained and owns the list's data: CFRelease it when done.
OSStatus CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
    CMSampleBufferRef sbuf, size_t* bufferListSizeNeededOut, AudioBufferList* bufferListOut,
    size_t bufferListSize, CFAllocatorRef blockBufferStructureAllocator,
    CFAllocatorRef blockBufferBlockAllocator, uint32_t flags, CMBlockBufferRef* blockBufferOut);

}  // extern "C"
