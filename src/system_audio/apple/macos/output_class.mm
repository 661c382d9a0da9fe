// The static class VantleSckAudioOutput and the messages of the platform
// headers that make and reach its instances (manual reference counting).

#include "system_audio/apple/macos/output_class.h"

#include "system_audio/apple/macos/bridge.h"
#include "system_audio/apple/screen_capture.h"

namespace system_audio::macos {

using Output = apple::VantleSckAudioOutput;

}  // namespace system_audio::macos

@implementation VantleSckAudioOutput

- (void)stream:(SCStream*)stream
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
                   ofType:(SCStreamOutputType)type {
  using namespace system_audio;
  stream_did_output_sample_buffer(macos::to_platform<macos::Output>(self),
                                  macos::to_platform<apple::SCStream>(stream), sampleBuffer,
                                  static_cast<apple::SCStreamOutputType>(type));
}

- (void)stream:(SCStream*)stream didStopWithError:(NSError*)error {
  using namespace system_audio;
  stream_did_stop_with_error(macos::to_platform<macos::Output>(self),
                             macos::to_platform<apple::SCStream>(stream),
                             macos::to_platform<apple::NSError>(error));
}

- (void)dealloc {
  system_audio::drop_audio_output_state(
      system_audio::macos::to_platform<system_audio::macos::Output>(self));
  [super dealloc];
}

@end

namespace system_audio::apple {

using macos::to_class;
using macos::to_platform;

VantleSckAudioOutput* VantleSckAudioOutput_alloc() {
  // alloc zeroes every instance variable: drop_flag starts at 0.
  return to_platform<VantleSckAudioOutput>([::VantleSckAudioOutput alloc]);
}

void* VantleSckAudioOutput_ivars(VantleSckAudioOutput* self) {
  return to_class<::VantleSckAudioOutput>(self)->ivars;
}

unsigned char* VantleSckAudioOutput_drop_flag(VantleSckAudioOutput* self) {
  return &to_class<::VantleSckAudioOutput>(self)->drop_flag;
}

VantleSckAudioOutput* VantleSckAudioOutput_init(VantleSckAudioOutput* self) {
  // The class has no -init of its own: this is NSObject's.
  return to_platform<VantleSckAudioOutput>([to_class<::VantleSckAudioOutput>(self) init]);
}

}  // namespace system_audio::apple
