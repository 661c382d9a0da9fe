// ScreenCaptureKit messages and completion-handler factories of the platform
// headers over the real framework (manual reference counting). CoreMedia's
// plain C calls are the SDK's own.

#include <Block.h>
#import <Foundation/Foundation.h>
#include <ScreenCaptureKit/ScreenCaptureKit.h>

#include "system_audio/apple/macos/block_context.h"
#include "system_audio/apple/macos/bridge.h"
#include "system_audio/apple/macos/output_class.h"
#include "system_audio/apple/screen_capture.h"

namespace system_audio::apple {

using macos::to_class;
using macos::to_platform;

namespace {

using ContentHandler = void (^)(::SCShareableContent* content, ::NSError* error);
using StreamHandler = void (^)(::NSError* error);

// A heap block as the headers' opaque handler type, and back.
template <class Handler, class Block>
Handler to_handler(Block block) {
  return static_cast<Handler>(static_cast<void*>(block));
}

template <class Block>
Block to_block(const void* handler) {
  return (Block)(const_cast<void*>(handler));
}

}  // namespace

SCShareableContentCompletionHandler SCShareableContentCompletionHandler_create(
    SCShareableContentCompletionHandlerInvoke invoke, void* context, BlockDispose dispose) {
  auto owner = macos::own_block_context(context, dispose);
  if (!owner) return nullptr;
  ContentHandler literal = ^(::SCShareableContent* content, ::NSError* error) {
    invoke(owner->context, to_platform<SCShareableContent>(content), to_platform<NSError>(error));
  };
  // nullptr when the copy cannot be made; the literal's owner then disposes.
  return to_handler<SCShareableContentCompletionHandler>(Block_copy(literal));
}

SCStreamCompletionHandler SCStreamCompletionHandler_create(SCStreamCompletionHandlerInvoke invoke,
                                                           void* context, BlockDispose dispose) {
  auto owner = macos::own_block_context(context, dispose);
  if (!owner) return nullptr;
  StreamHandler literal = ^(::NSError* error) {
    invoke(owner->context, to_platform<NSError>(error));
  };
  return to_handler<SCStreamCompletionHandler>(Block_copy(literal));
}

void SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_completionHandler(
    BOOL excludeDesktopWindows, BOOL onScreenWindowsOnly,
    SCShareableContentCompletionHandler completionHandler) {
  // The framework copies the handler; the caller keeps its own reference.
  [::SCShareableContent
      getShareableContentExcludingDesktopWindows:excludeDesktopWindows
                             onScreenWindowsOnly:onScreenWindowsOnly
                               completionHandler:to_block<ContentHandler>(completionHandler)];
}

NSArray* SCShareableContent_displays(SCShareableContent* self) {
  return to_platform<NSArray>([to_class<::SCShareableContent>(self) displays]);
}

const void* NSArray_firstObject(NSArray* self) {
  return [to_class<::NSArray>(self) firstObject];
}

CGDirectDisplayID SCDisplay_displayID(SCDisplay* self) {
  return [to_class<::SCDisplay>(self) displayID];
}

NSInteger SCDisplay_width(SCDisplay* self) {
  return [to_class<::SCDisplay>(self) width];
}

NSInteger SCDisplay_height(SCDisplay* self) {
  return [to_class<::SCDisplay>(self) height];
}

SCContentFilter* SCContentFilter_alloc() {
  return to_platform<SCContentFilter>([::SCContentFilter alloc]);
}

SCContentFilter* SCContentFilter_initWithDisplay_excludingWindows(SCContentFilter* self,
                                                                  SCDisplay* display,
                                                                  NSArray* excluded) {
  return to_platform<SCContentFilter>([to_class<::SCContentFilter>(self)
       initWithDisplay:to_class<::SCDisplay>(display)
      excludingWindows:to_class<::NSArray>(excluded)]);
}

SCStreamConfiguration* SCStreamConfiguration_new() {
  return to_platform<SCStreamConfiguration>([::SCStreamConfiguration new]);
}

void SCStreamConfiguration_setCapturesAudio(SCStreamConfiguration* self, BOOL value) {
  [to_class<::SCStreamConfiguration>(self) setCapturesAudio:value];
}

void SCStreamConfiguration_setExcludesCurrentProcessAudio(SCStreamConfiguration* self, BOOL value) {
  [to_class<::SCStreamConfiguration>(self) setExcludesCurrentProcessAudio:value];
}

void SCStreamConfiguration_setSampleRate(SCStreamConfiguration* self, NSInteger value) {
  [to_class<::SCStreamConfiguration>(self) setSampleRate:value];
}

void SCStreamConfiguration_setChannelCount(SCStreamConfiguration* self, NSInteger value) {
  [to_class<::SCStreamConfiguration>(self) setChannelCount:value];
}

void SCStreamConfiguration_setQueueDepth(SCStreamConfiguration* self, NSInteger value) {
  [to_class<::SCStreamConfiguration>(self) setQueueDepth:value];
}

void SCStreamConfiguration_setWidth(SCStreamConfiguration* self, std::size_t value) {
  [to_class<::SCStreamConfiguration>(self) setWidth:value];
}

void SCStreamConfiguration_setHeight(SCStreamConfiguration* self, std::size_t value) {
  [to_class<::SCStreamConfiguration>(self) setHeight:value];
}

void SCStreamConfiguration_setMinimumFrameInterval(SCStreamConfiguration* self, CMTime value) {
  [to_class<::SCStreamConfiguration>(self) setMinimumFrameInterval:value];
}

SCStream* SCStream_alloc() {
  return to_platform<SCStream>([::SCStream alloc]);
}

SCStream* SCStream_initWithFilter_configuration_delegate(SCStream* self, SCContentFilter* filter,
                                                         SCStreamConfiguration* configuration,
                                                         VantleSckAudioOutput* delegate) {
  return to_platform<SCStream>([to_class<::SCStream>(self)
      initWithFilter:to_class<::SCContentFilter>(filter)
       configuration:to_class<::SCStreamConfiguration>(configuration)
            delegate:to_class<::VantleSckAudioOutput>(delegate)]);
}

BOOL SCStream_addStreamOutput_type_sampleHandlerQueue_error(SCStream* self,
                                                            VantleSckAudioOutput* output,
                                                            SCStreamOutputType type,
                                                            dispatch_queue_t sampleHandlerQueue,
                                                            NSError** error) {
  // The error comes autoreleased; the helper drains no pool of its own, so it
  // is retained out of this one and handed out owned.
  BOOL added = NO;
  @autoreleasepool {
    ::NSError* failure = nil;
    added = [to_class<::SCStream>(self)
           addStreamOutput:to_class<::VantleSckAudioOutput>(output)
                      type:static_cast<::SCStreamOutputType>(static_cast<NSInteger>(type))
        sampleHandlerQueue:sampleHandlerQueue
                     error:&failure];
    if (error != nullptr) *error = to_platform<NSError>([failure retain]);
  }
  return added;
}

void SCStream_startCaptureWithCompletionHandler(SCStream* self,
                                                SCStreamCompletionHandler completionHandler) {
  [to_class<::SCStream>(self)
      startCaptureWithCompletionHandler:to_block<StreamHandler>(completionHandler)];
}

}  // namespace system_audio::apple
