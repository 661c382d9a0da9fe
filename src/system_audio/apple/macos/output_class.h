#pragma once

// The helper's own Objective-C class, declared statically from the facts in
// apple/audio_output_class.h: its name, NSObject as superclass, the protocols
// NSObject, SCStreamOutput and SCStreamDelegate, the instance variables ivars
// (the backend's state, 8-byte aligned) and drop_flag (one byte), and three
// methods whose bodies are the backend's functions.

#import <Foundation/Foundation.h>
#include <ScreenCaptureKit/ScreenCaptureKit.h>

#include <cstdint>

#include "system_audio/apple/audio_output_class.h"

namespace system_audio::macos {

// 8-byte words: the storage is 8-byte aligned wherever the runtime places it.
inline constexpr std::size_t IVARS_WORDS =
    (audio_output_class::IVARS_SIZE + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);
static_assert(audio_output_class::IVARS_ALIGNMENT == alignof(std::uint64_t));

}  // namespace system_audio::macos

@interface VantleSckAudioOutput : NSObject <NSObject, SCStreamOutput, SCStreamDelegate> {
 @public
  std::uint64_t ivars[system_audio::macos::IVARS_WORDS];
  unsigned char drop_flag;
}
// Declared again, although the protocols declare them, so that the compiler
// insists on their implementation (the protocols' are optional).
- (void)stream:(SCStream*)stream
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
                   ofType:(SCStreamOutputType)type;
- (void)stream:(SCStream*)stream didStopWithError:(NSError*)error;
@end
