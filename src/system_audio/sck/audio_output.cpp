#include "system_audio/sck/audio_output.h"

#include <cstddef>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "system_audio/apple/audio_output_class.h"
#include "system_audio/apple/cf_text.h"
#include "system_audio/conversion/capture_state.h"
#include "system_audio/frame/line_writer.h"
#include "system_audio/frame/number_text.h"

namespace system_audio {

using namespace apple;

namespace {

// The state in the object's ivars.
struct SckAudioOutput {
  CaptureState capture;
  std::vector<std::byte> list_bytes;  // a sample buffer's audio buffer list, reused
};
static_assert(sizeof(SckAudioOutput) <= audio_output_class::IVARS_SIZE);
static_assert(alignof(SckAudioOutput) <= audio_output_class::IVARS_ALIGNMENT);

SckAudioOutput& state_of(VantleSckAudioOutput* self) {
  return *std::launder(static_cast<SckAudioOutput*>(VantleSckAudioOutput_ivars(self)));
}

void tell_source_rate(double source_rate) {
  write_diagnostic("sck: source format rate=" + format_f64(source_rate));
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
  auto* state = new (VantleSckAudioOutput_ivars(output))
      SckAudioOutput{CaptureState(std::move(pcm_tx), std::move(status_tx)), {}};
  state->capture.new_rate_notice = &tell_source_rate;
  *VantleSckAudioOutput_drop_flag(output) = audio_output_class::DROP_FLAG_SET;
  return NsRef<VantleSckAudioOutput>(VantleSckAudioOutput_init(output));
}

void stream_did_output_sample_buffer(VantleSckAudioOutput* self, SCStream* stream,
                                     CMSampleBufferRef sample_buffer, SCStreamOutputType type) {
  if (sample_buffer == nullptr || type != SCStreamOutputTypeAudio) return;
  if (!CMSampleBufferDataIsReady(sample_buffer)) return;
  const double rate = source_rate(sample_buffer);

  // The size alone, as Apple documents it: no list and no block-buffer out-argument.
  std::size_t size = 0;
  OSStatus status = CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
      sample_buffer, &size, nullptr, 0, kCFAllocatorDefault, kCFAllocatorDefault,
      kCMSampleBufferFlag_AudioBufferList_Assure16ByteAlignment, nullptr);
  if (status != 0 || size == 0) return;

  // Zero-filled, in storage that keeps its room from buffer to buffer.
  std::vector<std::byte>& bytes = state_of(self).list_bytes;
  bytes.assign(size, std::byte{0});
  auto* list = reinterpret_cast<AudioBufferList*>(bytes.data());
  CMBlockBufferRef block = nullptr;
  status = CMSampleBufferGetAudioBufferListWithRetainedBlockBuffer(
      sample_buffer, nullptr, list, size, kCFAllocatorDefault, kCFAllocatorDefault,
      kCMSampleBufferFlag_AudioBufferList_Assure16ByteAlignment, &block);
  // It owns the list's data: held until the audio has been taken.
  const CfRef<CMBlockBufferRef> held(block);
  if (status != 0 || !list_fits(*list, size)) return;
  stream_did_output_audio(self, stream, *list, rate);
}

void stream_did_output_audio(VantleSckAudioOutput* self, SCStream*, const AudioBufferList& audio,
                             double source_rate) {
  process_input_buffers(state_of(self).capture, audio, source_rate);
}

void stream_did_stop_with_error(VantleSckAudioOutput* self, SCStream*, NSError* error) {
  (void)state_of(self).capture.status_tx.send("failed: ScreenCaptureKit stream stopped: " +
                                              error_description(error));
}

void drop_audio_output_state(VantleSckAudioOutput* self) {
  unsigned char& drop_flag = *VantleSckAudioOutput_drop_flag(self);
  if (drop_flag == 0) return;
  drop_flag = 0;
  SckAudioOutput& state = state_of(self);
  // The PCM sender first, so that the pump's end follows at once.
  { PcmSender dropped = std::move(state.capture.pcm_tx); }
  { StatusSender dropped = std::move(state.capture.status_tx); }
  state.~SckAudioOutput();
}

}  // namespace system_audio
