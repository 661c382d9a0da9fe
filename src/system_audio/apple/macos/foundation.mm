// Foundation messages of the platform headers over the real classes (manual
// reference counting). CoreFoundation, libdispatch and the blocks runtime are
// the SDK's own: nothing of theirs is defined here.

#import <Foundation/Foundation.h>

#include "system_audio/apple/foundation.h"
#include "system_audio/apple/macos/bridge.h"

namespace system_audio::apple {

using macos::to_class;
using macos::to_platform;

NSArray* NSArray_new() {
  return to_platform<NSArray>([::NSArray new]);
}

NSString* NSString_alloc_initWithBytes_length_encoding(const void* bytes, NSUInteger length,
                                                       NSStringEncoding encoding) {
  // A failed init releases the allocated object and answers nil. (The cast
  // is a no-op on macOS, where the encoding type is NSUInteger.)
  return to_platform<NSString>([[::NSString alloc]
      initWithBytes:bytes
             length:length
           encoding:static_cast<::NSStringEncoding>(encoding)]);
}

NSString* NSError_localizedDescription(NSError* error) {
  // Borrowed: the error's own string, or one autoreleased into the calling
  // thread's pool, which outlives the caller's use of it.
  return to_platform<NSString>([to_class<::NSError>(error) localizedDescription]);
}

void NSObject_retain(const void* object) {
  [to_class<::NSObject>(object) retain];
}

void NSObject_release(const void* object) {
  [to_class<::NSObject>(object) release];
}

}  // namespace system_audio::apple
