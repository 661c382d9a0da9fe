#pragma once

// The operations the sck backend needs of ScreenCaptureKit and CoreMedia, with
// the platform's ownership rules, beside the shared foundation.h and in its
// style: CoreMedia's plain C names at global scope (the SDK's own on macOS);
// ScreenCaptureKit classes as opaque types in system_audio::apple, messages
// spelled Class_selector_parts with the receiver first (class methods have
// none), completion handlers as block factories.
//
// Ownership as on the platform: alloc/new/init results are owned (+1) and go
// back with NSObject_release; getters (displays, firstObject, the display's
// values, format descriptions) are borrowed; objects handed to a handler or a
// method of the output class are borrowed for the call. A message to nil does
// nothing and returns nil, 0 or NO. One difference: an NSError stored through an
// error out-parameter is handed out owned (+1); the macOS forwarding file
// retains it out of its autorelease pool, since the helper drains none.
//
// VantleSckAudioOutput is the helper's own class. In the macOS binding it is a
// static Objective-C class declared from the facts in audio_output_class.h,
// whose three methods forward to the backend functions declared there; other
// bindings make a reference-counted object that calls the same functions.

#include <cstddef>
#include <cstdint>

#include "system_audio/apple/foundation.h"

#if defined(__APPLE__)
// macOS: the SDK declares every plain C name of this header.
#include <CoreMedia/CoreMedia.h>
#else

extern "C" {

// ---- CoreMedia ------------------------------------------------------------------------
// macOS: <CoreMedia/CoreMedia.h>. Sample buffers, block buffers and format
// descriptions are CF objects.

struct opaqueCMSampleBuffer;
struct OpaqueCMBlockBuffer;
struct opaqueCMFormatDescription;
using CMSampleBufferRef = opaqueCMSampleBuffer*;
using CMBlockBufferRef = OpaqueCMBlockBuffer*;
using CMFormatDescriptionRef = const opaqueCMFormatDescription*;
using CMAudioFormatDescriptionRef = CMFormatDescriptionRef;

struct CMTime {
  std::int64_t value;
  std::int32_t timescale;
  UInt32 flags;  // kCMTimeFlags_Valid = 1
  std::int64_t epoch;
};
CMTime CMTimeMake(std::int64_t value, std::int32_t timescale);

constexpr UInt32 kCMSampleBufferFlag_AudioBufferList_Assure16ByteAlignment = 1;

Boolean CMSampleBufferDataIsReady(CMSampleBufferRef sbuf);
// Borrowed; null when the buffer has none.
CMFormatDescriptionRef CMSampleBufferGetFormatDescription(CMSampleBufferRef sbuf);
// Borrowed, valid while the description lives; null when it describes no audio.
const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(
    CMAudioFormatDescriptionRef desc);
// With bufferListOut and blockBufferOut null: the size needed (the documented
// size query; whether it takes a block-buffer out-argument too is unverified).
// With a list of that size: the list, whose data stays valid while
// *blockBufferOut (retained: CFRelease it) lives.
OSStatus CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
    CMSampleBufferRef sbuf, std::size_t* bufferListSizeNeededOut, AudioBufferList* bufferListOut,
    std::size_t bufferListSize, CFAllocatorRef blockBufferStructureAllocator,
    CFAllocatorRef blockBufferBlockAllocator, UInt32 flags, CMBlockBufferRef* blockBufferOut);

}  // extern "C"

#endif  // !__APPLE__

namespace system_audio::apple {

// ---- ScreenCaptureKit -------------------------------------------------------------

struct SCShareableContent;
struct SCDisplay;
struct SCContentFilter;
struct SCStreamConfiguration;
struct SCStream;
// The helper's one class adopting SCStreamOutput and SCStreamDelegate; it stands
// wherever the platform takes an id<SCStreamOutput> or id<SCStreamDelegate>.
struct VantleSckAudioOutput;

using CGDirectDisplayID = std::uint32_t;

enum SCStreamOutputType : NSInteger {
  SCStreamOutputTypeScreen = 0,
  SCStreamOutputTypeAudio = 1,
  SCStreamOutputTypeMicrophone = 2,
};

// Completion handlers: blocks as foundation.h describes them (made by
// <type>_create(invoke, context, dispose), released with Block_release). The
// framework copies a handler it keeps and releases it once it has called it or
// knows it never will: dispose then runs. Objects passed to invoke are borrowed
// for the call. macOS: block factories of the forwarding file.
struct SCShareableContentCompletionHandler_s;
using SCShareableContentCompletionHandler = SCShareableContentCompletionHandler_s*;
using SCShareableContentCompletionHandlerInvoke = void (*)(void* context,
                                                           SCShareableContent* shareableContent,
                                                           NSError* error);
SCShareableContentCompletionHandler SCShareableContentCompletionHandler_create(
    SCShareableContentCompletionHandlerInvoke invoke, void* context, BlockDispose dispose);

struct SCStreamCompletionHandler_s;
using SCStreamCompletionHandler = SCStreamCompletionHandler_s*;
using SCStreamCompletionHandlerInvoke = void (*)(void* context, NSError* error);
SCStreamCompletionHandler SCStreamCompletionHandler_create(SCStreamCompletionHandlerInvoke invoke,
                                                           void* context, BlockDispose dispose);

// +[SCShareableContent getShareableContentExcludingDesktopWindows:onScreenWindowsOnly:
// completionHandler:]: returns at once; the handler runs at most once, later, on
// a framework thread, with (content or nil, error or nil).
void SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_completionHandler(
    BOOL excludeDesktopWindows, BOOL onScreenWindowsOnly,
    SCShareableContentCompletionHandler completionHandler);
// Of SCDisplay, borrowed.
NSArray* SCShareableContent_displays(SCShareableContent* self);
// NSArray's firstObject, borrowed; nil for an empty array.
const void* NSArray_firstObject(NSArray* self);

CGDirectDisplayID SCDisplay_displayID(SCDisplay* self);
NSInteger SCDisplay_width(SCDisplay* self);
NSInteger SCDisplay_height(SCDisplay* self);

SCContentFilter* SCContentFilter_alloc();
// Consumes self; the filter or nil.
SCContentFilter* SCContentFilter_initWithDisplay_excludingWindows(SCContentFilter* self,
                                                                  SCDisplay* display,
                                                                  NSArray* excluded);

SCStreamConfiguration* SCStreamConfiguration_new();
void SCStreamConfiguration_setCapturesAudio(SCStreamConfiguration* self, BOOL value);
void SCStreamConfiguration_setExcludesCurrentProcessAudio(SCStreamConfiguration* self, BOOL value);
void SCStreamConfiguration_setSampleRate(SCStreamConfiguration* self, NSInteger value);
void SCStreamConfiguration_setChannelCount(SCStreamConfiguration* self, NSInteger value);
void SCStreamConfiguration_setQueueDepth(SCStreamConfiguration* self, NSInteger value);
void SCStreamConfiguration_setWidth(SCStreamConfiguration* self, std::size_t value);
void SCStreamConfiguration_setHeight(SCStreamConfiguration* self, std::size_t value);
void SCStreamConfiguration_setMinimumFrameInterval(SCStreamConfiguration* self, CMTime value);

SCStream* SCStream_alloc();
// Consumes self; the stream or nil. The delegate hears stream:didStopWithError:.
// How the stream holds its delegate and outputs is not stated, nor when it
// stops calling them: the caller keeps its own references.
SCStream* SCStream_initWithFilter_configuration_delegate(SCStream* self, SCContentFilter* filter,
                                                         SCStreamConfiguration* configuration,
                                                         VantleSckAudioOutput* delegate);
// YES, or NO with *error set (owned, see above). After YES, the output's
// stream:didOutputSampleBuffer:ofType: runs on the queue, one call at a time.
BOOL SCStream_addStreamOutput_type_sampleHandlerQueue_error(SCStream* self,
                                                            VantleSckAudioOutput* output,
                                                            SCStreamOutputType type,
                                                            dispatch_queue_t sampleHandlerQueue,
                                                            NSError** error);
// Returns at once; the handler runs at most once, with nil once capture runs.
void SCStream_startCaptureWithCompletionHandler(SCStream* self,
                                                SCStreamCompletionHandler completionHandler);

// ---- The output class ---------------------------------------------------------------

// +[VantleSckAudioOutput alloc]: ivars zeroed, drop_flag 0; nil when the class
// cannot be made.
VantleSckAudioOutput* VantleSckAudioOutput_alloc();
// Where the instance variables live (ivars: sizeof the state, 8-byte aligned).
void* VantleSckAudioOutput_ivars(VantleSckAudioOutput* self);
unsigned char* VantleSckAudioOutput_drop_flag(VantleSckAudioOutput* self);
// NSObject's -init through the superclass. Consumes self; self or nil (having
// run dealloc).
VantleSckAudioOutput* VantleSckAudioOutput_init(VantleSckAudioOutput* self);

}  // namespace system_audio::apple
