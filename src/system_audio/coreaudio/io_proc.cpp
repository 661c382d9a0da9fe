#include "system_audio/coreaudio/io_proc.h"

#include <string>

#include "system_audio/coreaudio/hal_status.h"
#include "system_audio/coreaudio/identifier.h"

namespace system_audio {

using namespace apple;

namespace {

// Reads only the input list; the output list is not ours to write.
void run_io_block(void* context, const AudioTimeStamp*, const AudioBufferList* input,
                  const AudioTimeStamp*, AudioBufferList*, const AudioTimeStamp*) {
  if (input == nullptr) return;
  process_input_buffers(*static_cast<TapCallbackState*>(context), *input);
}

}  // namespace

BlockRef<AudioDeviceIOBlock> make_io_block(TapCallbackState& state) {
  return BlockRef<AudioDeviceIOBlock>(AudioDeviceIOBlock_create(&run_io_block, &state, nullptr));
}

QueueRef make_io_queue() {
  std::string label(IDENTIFIER_PREFIX);
  label += ".audio-tap";
  return QueueRef(dispatch_queue_create(label.c_str(), DISPATCH_QUEUE_SERIAL));
}

Result<void> start_device_io(AudioObjectID device, AudioDeviceIOProcID io_proc) {
  return status_ok(AudioDeviceStart(device, io_proc), "start CoreAudio tap IO");
}

void cleanup_hal(AudioObjectID tap_id, AudioObjectID aggregate_id, AudioDeviceIOProcID io_proc_id) {
  if (io_proc_id != nullptr) AudioDeviceDestroyIOProcID(aggregate_id, io_proc_id);
  if (aggregate_id != kAudioObjectUnknown) AudioHardwareDestroyAggregateDevice(aggregate_id);
  if (tap_id != kAudioObjectUnknown) AudioHardwareDestroyProcessTap(tap_id);
}

}  // namespace system_audio
