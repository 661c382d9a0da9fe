// CoreMedia audio sample buffers as ScreenCaptureKit hands them out, answering
// as their SampleBufferSpec scripts. A buffer stands for its own format
// description and block buffer: what the backend does with those comes back
// to it.

#include "sck_fake.h"
#include "system_audio/apple/standin/runtime.h"

namespace system_audio::fake {

struct SampleBufferPayload {
  SampleBufferSpec spec;
  AudioStreamBasicDescription format;
};

CMSampleBufferRef make_sample_buffer(SampleBufferSpec spec) {
  // clang-format off
  const AudioStreamBasicDescription format{spec.rate, kAudioFormatLinearPCM,
      kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked, 4, 1, 4, 1, 32, 0};  // mono float32
  // clang-format on
  return static_cast<CMSampleBufferRef>(
      const_cast<void*>(standin::make_object(SampleBufferPayload{std::move(spec), format})));
}

}  // namespace system_audio::fake

using namespace system_audio;
using Buffer = fake::SampleBufferPayload;

Boolean CMSampleBufferDataIsReady(CMSampleBufferRef sbuf) {
  const auto* buffer = standin::payload_of<Buffer>(sbuf);
  return buffer != nullptr && buffer->spec.ready;
}

CMFormatDescriptionRef CMSampleBufferGetFormatDescription(CMSampleBufferRef sbuf) {
  const auto* buffer = standin::payload_of<Buffer>(sbuf);
  return buffer && buffer->spec.format_description ? reinterpret_cast<CMFormatDescriptionRef>(sbuf)
                                                   : nullptr;
}

const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(
    CMAudioFormatDescriptionRef desc) {
  const auto* buffer = standin::payload_of<Buffer>(desc);
  return buffer && buffer->spec.stream_description ? &buffer->format : nullptr;
}

OSStatus CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
    CMSampleBufferRef sbuf, std::size_t* size_needed, AudioBufferList* list, std::size_t size,
    CFAllocatorRef, CFAllocatorRef, UInt32, CMBlockBufferRef* block_buffer) {
  auto* buffer = standin::payload_of<Buffer>(sbuf);
  if (buffer == nullptr) return kAudio_ParamError;
  const fake::SampleBufferSpec& spec = buffer->spec;
  const std::size_t needed = spec.size.value_or(sizeof(AudioBufferList));
  if (list == nullptr) {
    // Apple documents the size query without a block-buffer out-argument only.
    if (block_buffer != nullptr) return kAudio_ParamError;
    if (spec.size_status == 0 && size_needed != nullptr) *size_needed = needed;
    return spec.size_status;
  }
  if (size < needed || size < sizeof(AudioBufferList)) return -12737;  // array too small
  if (block_buffer != nullptr) {
    standin::retain(sbuf);
    *block_buffer = reinterpret_cast<CMBlockBufferRef>(sbuf);
  }
  if (spec.fill_status != 0) return spec.fill_status;
  auto& samples = buffer->spec.samples;
  list->mNumberBuffers = 1;
  list->mBuffers[0] = {1, UInt32(samples.size() * sizeof(float)), samples.data()};
  return 0;
}
