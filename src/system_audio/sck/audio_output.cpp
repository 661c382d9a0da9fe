#include "system_audio/sck/audio_output.h"

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "system_audio/sck/audio_output_class.h"
#include "system_audio/sck/error_text.h"
#include "system_audio/sck/sck_texts.h"

namespace system_audio {

using namespace apple;

namespace {

SckAudioOutput& state_of(VantleSckAudioOutput* self) {
  return *std::launder(static_cast<SckAudioOutput*>(VantleSckAudioOutput_ivars(self)));
}

// The rate the buffer's audio says it has; 16000 Hz when it says nothing usable.
// A rate that is not a number goes on as it is.
double source_rate(CMSampleBufferRef sample_buffer) {
  const CMFormatDescriptionRef format = CMSampleBufferGetFormatDescription(sample_buffer);
  if (format == nullptr) return TARGET_SAMPLE_RATE;
  const AudioStreamBasicDescription* description =
      CMAudioFormatDescriptionGetStreamBasicDescription(format);
  if (description == nullptr) return TARGET_SAMPLE_RATE;
  return description->mSampleRate <= 0.0 ? TARGET_SAMPLE_RATE : description->mSampleRate;
}

// The list must lie within the bytes the platform asked for, or it is not read.
bool list_fits(const AudioBufferList& list, std::size_t size) {
  constexpr std::size_t header = offsetof(AudioBufferList, mBuffers);
  return size >= header && (size - header) / sizeof(AudioBuffer) >= list.mNumberBuffers;
}

}  // namespace

NsRef<VantleSckAudioOutput> make_audio_output(PcmSender& pcm_tx, StatusSender& status_tx) {
  VantleSckAudioOutput* output = VantleSckAudioOutput_alloc();
  if (output == nullptr) return {};
  new (VantleSckAudioOutput_ivars(output))
      SckAudioOutput{std::move(pcm_tx), std::move(status_tx), {}, std::nullopt, std::nullopt};
  *VantleSckAudioOutput_drop_flag(output) = audio_output_class::DROP_FLAG_SET;
  return NsRef<VantleSckAudioOutput>(VantleSckAudioOutput_init(output));
}

void stream_did_output_sample_buffer(VantleSckAudioOutput* self, SCStream*,
                                     CMSampleBufferRef sample_buffer, SCStreamOutputType type) {
  if (sample_buffer == nullptr || type != SCStreamOutputTypeAudio) return;
  if (!CMSampleBufferDataIsReady(sample_buffer)) return;
  const double rate = source_rate(sample_buffer);

  // Declared before the block buffer, so that the block buffer goes first.
  std::unique_ptr<std::byte[]> bytes;
  CMBlockBufferRef block = nullptr;
  std::size_t size = 0;
  OSStatus status = CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
      sample_buffer, &size, nullptr, 0, kCFAllocatorDefault, kCFAllocatorDefault,
      kCMSampleBufferFlag_AudioBufferList_Assure16ByteAlignment, &block);
  CfRef<CMBlockBufferRef> held(std::exchange(block, nullptr));
  if (status != 0 || size == 0) return;

  bytes.reset(new (std::nothrow) std::byte[size]());
  if (!bytes) return;
  auto* list = reinterpret_cast<AudioBufferList*>(bytes.get());
  status = CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
      sample_buffer, nullptr, list, size, kCFAllocatorDefault, kCFAllocatorDefault,
      kCMSampleBufferFlag_AudioBufferList_Assure16ByteAlignment, &block);
  held = CfRef<CMBlockBufferRef>(block);
  if (status != 0 || !list_fits(*list, size)) return;
  process_sck_input(state_of(self), *list, rate);
}

void stream_did_stop_with_error(VantleSckAudioOutput* self, SCStream*, NSError* error) {
  (void)state_of(self).status_tx.send(sck_texts::STREAM_STOPPED + error_description(error));
}

void drop_audio_output_state(VantleSckAudioOutput* self) {
  unsigned char& drop_flag = *VantleSckAudioOutput_drop_flag(self);
  if (drop_flag == 0) return;
  drop_flag = 0;
  SckAudioOutput& state = state_of(self);
  // Field order: the PCM sender first, so that the pump's end follows at once.
  { PcmSender dropped = std::move(state.pcm_tx); }
  { StatusSender dropped = std::move(state.status_tx); }
  state.resampler.reset();
  state.~SckAudioOutput();
}

}  // namespace system_audio
