#include "system_audio/coreaudio/tap_io.h"

#include <algorithm>
#include <cstring>

namespace system_audio {
namespace {

static_assert(offsetof(TapBufferRoom, more) == sizeof(AudioBufferList),
              "the records of a list follow one another");

UInt32 channels_of(const AudioBuffer& buffer) {
  return std::max<UInt32>(buffer.mNumberChannels, 1);
}

// Read as bytes, as the conversion reads platform buffers: no alignment is
// assumed. 0.0 and -0.0 differ only in the sign bit.
bool all_zero(const AudioBuffer& buffer) {
  const auto* bytes = static_cast<const std::byte*>(buffer.mData);
  for (UInt32 at = 0; at + sizeof(std::uint32_t) <= buffer.mDataByteSize; at += 4) {
    std::uint32_t bits;
    std::memcpy(&bits, bytes + at, sizeof bits);
    if ((bits & 0x7FFFFFFFu) != 0) return false;
  }
  return true;
}

// Until the first sample other than 0.0: whether this cycle brought one, or
// how many frames of exact zeros it brought.
void note_silence(const AudioBufferList& tap, IoActivity& activity) {
  const AudioBuffer* buffers = tap.mBuffers;
  std::uint64_t frames = 0;
  for (UInt32 i = 0; i < tap.mNumberBuffers; ++i) {
    if (buffers[i].mData == nullptr) continue;
    if (!all_zero(buffers[i])) {
      activity.heard.store(true, std::memory_order_relaxed);
      return;
    }
    frames =
        std::max<std::uint64_t>(frames, buffers[i].mDataByteSize / 4 / channels_of(buffers[i]));
  }
  activity.silent_frames.fetch_add(frames, std::memory_order_relaxed);
}

}  // namespace

const AudioBufferList* tap_buffers(const AudioBufferList& input, UInt32 tap_channels,
                                   TapBufferRoom& room) {
  const AudioBuffer* records = input.mBuffers;
  const UInt32 wanted = std::max<UInt32>(tap_channels, 1);
  UInt32 first = input.mNumberBuffers, channels = 0;
  while (first > 0 && channels < wanted) channels += channels_of(records[--first]);
  const UInt32 count = input.mNumberBuffers - first;
  if (channels != wanted || count == 0 || count > kMaxTapBuffers) return nullptr;
  if (first == 0) return &input;
  room.list.mNumberBuffers = count;
  std::memcpy(reinterpret_cast<std::byte*>(&room) + offsetof(AudioBufferList, mBuffers),
              records + first, count * sizeof(AudioBuffer));
  return &room.list;
}

void run_io_block(void* context, const AudioTimeStamp*, const AudioBufferList* input,
                  const AudioTimeStamp*, AudioBufferList*, const AudioTimeStamp*) {
  auto& state = *static_cast<TapCallbackState*>(context);
  state.activity.cycles.fetch_add(1, std::memory_order_relaxed);
  if (input == nullptr || !state.format_usable.load(std::memory_order_relaxed)) return;
  TapBufferRoom room;
  const AudioBufferList* tap =
      tap_buffers(*input, state.tap_channels.load(std::memory_order_relaxed), room);
  if (tap == nullptr) return;
  if (!state.activity.heard.load(std::memory_order_relaxed)) note_silence(*tap, state.activity);
  process_input_buffers(state.capture, *tap);
}

}  // namespace system_audio
