// CoreMedia sample buffers as ScreenCaptureKit hands them out, and their
// delivery to a stream's output.

#include <cstring>
#include <string>
#include <utility>

#include "system_audio/apple/audio_output_class.h"
#include "system_audio/apple/standin/screen_capture.h"

namespace system_audio::standin {
namespace {

constexpr OSStatus kCMSampleBufferError_ArrayTooSmall = -12737;

struct FormatPayload {
  std::optional<AudioStreamBasicDescription> description;
};
std::string describe(const FormatPayload&) {
  return "CMFormatDescription";
}

struct BlockBufferPayload {
  std::vector<float> samples;
};
std::string describe(const BlockBufferPayload&) {
  return "CMBlockBuffer";
}

struct SampleBufferPayload {
  SampleBufferSpec spec;  // its samples live in the block buffer
  Ref format;
  Ref block;
};
std::string describe(const SampleBufferPayload&) {
  return "CMSampleBuffer";
}

AudioStreamBasicDescription float_format(double rate, UInt32 channels) {
  return {rate,
          kAudioFormatLinearPCM,
          kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked,
          4 * channels,
          1,
          4 * channels,
          channels,
          32,
          0};
}

}  // namespace

CMSampleBufferRef make_sample_buffer(SampleBufferSpec spec) {
  SampleBufferPayload buffer;
  if (spec.format_description) {
    FormatPayload format;
    if (spec.stream_description) format.description = float_format(spec.rate, spec.channels);
    buffer.format = Ref(make_object(std::move(format)));
  }
  buffer.block = Ref(make_object(BlockBufferPayload{std::move(spec.samples)}));
  buffer.spec = std::move(spec);
  return static_cast<CMSampleBufferRef>(const_cast<void*>(make_object(std::move(buffer))));
}

bool deliver_sample_buffer(apple::SCStream* stream, CMSampleBufferRef buffer,
                           apple::SCStreamOutputType type) {
  const StreamPayload* payload = stream_payload(stream);
  if (payload == nullptr || payload->output.object == nullptr || payload->queue == nullptr) {
    return false;
  }
  auto* output =
      static_cast<apple::VantleSckAudioOutput*>(const_cast<void*>(payload->output.object));
  // The task keeps what it calls alive until it has run.
  for (const void* kept : {static_cast<const void*>(stream), static_cast<const void*>(output),
                           static_cast<const void*>(buffer)}) {
    if (kept != nullptr) retain(kept, "internal");
  }
  dispatch_async(payload->queue, [=] {
    stream_did_output_sample_buffer(output, stream, buffer, type);
    for (const void* kept : {static_cast<const void*>(buffer), static_cast<const void*>(output),
                             static_cast<const void*>(stream)}) {
      if (kept != nullptr) release(kept, "internal");
    }
  });
  return true;
}

}  // namespace system_audio::standin

using namespace system_audio;
using standin::call;
using standin::payload_of;

CMTime CMTimeMake(std::int64_t value, std::int32_t timescale) {
  call("CMTimeMake", long(value), long(timescale));
  return CMTime{value, timescale, 1, 0};
}

Boolean CMSampleBufferDataIsReady(CMSampleBufferRef sbuf) {
  call("CMSampleBufferDataIsReady", sbuf);
  const auto* buffer = payload_of<standin::SampleBufferPayload>(sbuf);
  return buffer != nullptr && buffer->spec.ready;
}

CMFormatDescriptionRef CMSampleBufferGetFormatDescription(CMSampleBufferRef sbuf) {
  call("CMSampleBufferGetFormatDescription", sbuf);
  const auto* buffer = payload_of<standin::SampleBufferPayload>(sbuf);
  return buffer ? static_cast<CMFormatDescriptionRef>(buffer->format.object) : nullptr;
}

const AudioStreamBasicDescription* CMAudioFormatDescriptionGetStreamBasicDescription(
    CMAudioFormatDescriptionRef desc) {
  call("CMAudioFormatDescriptionGetStreamBasicDescription", desc);
  const auto* format = payload_of<standin::FormatPayload>(desc);
  return format && format->description ? &*format->description : nullptr;
}

OSStatus CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
    CMSampleBufferRef sbuf, std::size_t* bufferListSizeNeededOut, AudioBufferList* bufferListOut,
    std::size_t bufferListSize, CFAllocatorRef blockBufferStructureAllocator,
    CFAllocatorRef blockBufferBlockAllocator, UInt32 flags, CMBlockBufferRef* blockBufferOut) {
  const auto allocator = [](CFAllocatorRef a) {
    return a == kCFAllocatorDefault ? "kCFAllocatorDefault" : "other allocator";
  };
  call("CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer", sbuf,
       bufferListSizeNeededOut ? "size out" : "NULL", bufferListOut ? "list" : "NULL",
       bufferListSize, allocator(blockBufferStructureAllocator),
       allocator(blockBufferBlockAllocator), flags, blockBufferOut ? "block out" : "NULL");
  auto* buffer = payload_of<standin::SampleBufferPayload>(sbuf);
  if (buffer == nullptr) return -50;  // kAudio_ParamError
  const standin::SampleBufferSpec& spec = buffer->spec;
  const std::size_t needed = spec.size.value_or(sizeof(AudioBufferList));
  const auto hand_out_block = [&] {
    if (blockBufferOut == nullptr) return;
    standin::retain(buffer->block.object, "internal");
    *blockBufferOut = static_cast<CMBlockBufferRef>(const_cast<void*>(buffer->block.object));
  };
  if (bufferListOut == nullptr) {
    if (spec.size_status != 0) return spec.size_status;
    if (bufferListSizeNeededOut != nullptr) *bufferListSizeNeededOut = needed;
    return 0;
  }
  if (bufferListSize < needed || bufferListSize < sizeof(AudioBufferList)) {
    return standin::kCMSampleBufferError_ArrayTooSmall;
  }
  hand_out_block();
  if (spec.fill_status != 0) return spec.fill_status;
  auto& samples = payload_of<standin::BlockBufferPayload>(buffer->block.object)->samples;
  bufferListOut->mNumberBuffers = 1;
  bufferListOut->mBuffers[0] = {spec.channels, UInt32(samples.size() * sizeof(float)),
                                samples.data()};
  return 0;
}
