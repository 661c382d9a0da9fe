#include "system_audio/apple/linux/io_proc_runner.h"

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::pulse {
namespace {

// The block's one reference of the IOProc's own, given back with the capture.
std::shared_ptr<AudioDeviceIOBlock_s> hold_block(AudioDeviceIOBlock block) {
  return {Block_copy(block), [](AudioDeviceIOBlock held) { Block_release(held); }};
}

}  // namespace

IoProcRunner::IoProcRunner(AudioDeviceIOBlock block, dispatch_queue_t queue)
    : capture_(queue, [held = hold_block(block)](std::vector<float>& samples, std::uint32_t,
                                                 std::uint32_t channels) {
        AudioBufferList list{};
        list.mNumberBuffers = 1;
        list.mBuffers[0].mNumberChannels = channels;
        list.mBuffers[0].mDataByteSize = std::uint32_t(samples.size() * sizeof(float));
        list.mBuffers[0].mData = samples.data();
        standin::invoke_block<apple::AudioDeviceIOBlockInvoke>(held.get(), nullptr, &list, nullptr,
                                                               nullptr, nullptr);
      }) {}

Result<void> IoProcRunner::start(std::shared_ptr<PulseConnection> connection,
                                 const CaptureFormat& format) {
  auto started = capture_.start(std::move(connection), format);
  if (!started) return fail(started.error());
  return {};
}

}  // namespace system_audio::pulse
