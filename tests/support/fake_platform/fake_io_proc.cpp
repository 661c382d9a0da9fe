// IOProcs on the fake HAL and the IO cycles a test delivers to them.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "fake_state.h"

namespace system_audio::fake::detail {
namespace {

constexpr std::uint8_t kOutputSentinel = 0xA5;
constexpr std::size_t kOutputBytes = 64;

// A self-contained AudioBufferList: the records and the data they point at.
class CycleCopy {
 public:
  explicit CycleCopy(std::vector<CycleBuffer> buffers) : buffers_(std::move(buffers)) {
    const std::size_t count = std::max<std::size_t>(buffers_.size(), 1);
    storage_.resize((offsetof(AudioBufferList, mBuffers) + count * sizeof(AudioBuffer) + 7) / 8);
    auto* bytes = reinterpret_cast<std::byte*>(storage_.data());
    list_ = new (bytes) AudioBufferList{};
    list_->mNumberBuffers = static_cast<UInt32>(buffers_.size());
    auto* records = reinterpret_cast<AudioBuffer*>(bytes + offsetof(AudioBufferList, mBuffers));
    for (std::size_t i = 0; i < buffers_.size(); ++i) {
      CycleBuffer& buffer = buffers_[i];
      const auto size = static_cast<UInt32>(buffer.bytes.size());
      // At least one byte, so that a zero-size buffer still has a real address.
      buffer.bytes.resize(std::max<std::size_t>(buffer.bytes.size(), 1));
      new (&records[i])
          AudioBuffer{buffer.channels, size, buffer.null_data ? nullptr : buffer.bytes.data()};
    }
  }
  CycleCopy(const CycleCopy&) = delete;
  CycleCopy& operator=(const CycleCopy&) = delete;

  const AudioBufferList* list() const { return list_; }

 private:
  std::vector<CycleBuffer> buffers_;
  std::vector<std::uint64_t> storage_;
  AudioBufferList* list_ = nullptr;
};

// The output list the HAL offers; the helper must leave it untouched.
struct OutputList {
  std::uint8_t data[kOutputBytes];
  AudioBufferList list;

  OutputList() : list{1, {{1, kOutputBytes, data}}} {
    std::memset(data, kOutputSentinel, kOutputBytes);
  }
  bool untouched() const {
    return list.mNumberBuffers == 1 && list.mBuffers[0].mDataByteSize == kOutputBytes &&
           list.mBuffers[0].mData == data &&
           std::all_of(data, data + kOutputBytes,
                       [](std::uint8_t b) { return b == kOutputSentinel; });
  }
};

void run_cycle(const std::shared_ptr<IoProc>& proc, const CycleCopy& cycle) {
  State& fake = state();
  {
    std::lock_guard call(proc->call_mutex);
    bool registered;
    {
      std::lock_guard lock(fake.mutex);
      registered = !proc->destroyed;
    }
    if (registered) {
      OutputList output;
      standin::invoke_io_block(proc->block, cycle.list(), &output.list);
      std::lock_guard lock(fake.mutex);
      ++fake.delivered_cycles;
      if (!output.untouched()) {
        fake.hal_faults.push_back("IOProc#" + std::to_string(proc->number) +
                                  " wrote into the output buffer list");
      }
    }
  }
  std::lock_guard lock(fake.mutex);
  --fake.outstanding_cycles;
  if (fake.outstanding_cycles == 0) fake.cycles_done.notify_all();
}

std::shared_ptr<IoProc> find_locked(State& fake, AudioDeviceIOProcID id) {
  for (const auto& proc : fake.io_procs) {
    if (reinterpret_cast<AudioDeviceIOProcID>(proc.get()) == id) return proc;
  }
  return nullptr;
}

}  // namespace
}  // namespace system_audio::fake::detail

namespace system_audio::platform {

using fake::detail::IoProc;
using fake::detail::State;

OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                            AudioObjectID inDevice,
                                            dispatch_queue_t inDispatchQueue,
                                            AudioDeviceIOBlock inIOBlock) {
  const std::string queue_text = standin::describe(inDispatchQueue);
  const std::string block_text = standin::describe(inIOBlock);
  const auto label = standin::queue_label(inDispatchQueue);
  const bool block_alive = standin::kind_of(inIOBlock) == standin::ObjectKind::io_block;
  const bool queue_ok = inDispatchQueue == nullptr || label.has_value();
  State& fake = fake::detail::state();
  std::shared_ptr<IoProc> proc;
  {
    std::lock_guard lock(fake.mutex);
    fake::detail::log_locked(fake, "AudioDeviceCreateIOProcIDWithBlock(" +
                                       std::to_string(inDevice) + ", " + queue_text + ", " +
                                       block_text + ")");
    fake.passed.queue = inDispatchQueue;
    fake.passed.queue_label = label;
    fake.passed.block = inIOBlock;
    if (outIOProcID == nullptr || !block_alive || !queue_ok) return kAudio_ParamError;
    const bool known_device =
        (inDevice != kAudioObjectUnknown && inDevice == fake.script.default_device) ||
        std::any_of(fake.aggregates.begin(), fake.aggregates.end(),
                    [&](const auto& aggregate) { return aggregate.id == inDevice; });
    if (!known_device) return kAudioHardwareBadDeviceError;
    if (fake.script.create_io_proc_status != 0) return fake.script.create_io_proc_status;
    proc = std::make_shared<IoProc>();
    proc->number = fake.next_io_proc++;
    proc->device = inDevice;
    // Like the HAL, the registration keeps its own references.
    proc->queue = inDispatchQueue == nullptr ? nullptr : standin::retain_queue(inDispatchQueue);
    proc->block = standin::retain_block(inIOBlock);
    fake.io_procs.push_back(proc);
  }
  *outIOProcID = reinterpret_cast<AudioDeviceIOProcID>(proc.get());
  return kAudioHardwareNoError;
}

OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID) {
  State& fake = fake::detail::state();
  std::shared_ptr<IoProc> proc;
  {
    std::lock_guard lock(fake.mutex);
    const std::string name = fake::detail::io_proc_name_locked(fake, inIOProcID);
    const std::string line =
        "AudioDeviceDestroyIOProcID(" + std::to_string(inDevice) + ", " + name + ")";
    fake::detail::log_locked(fake, line);
    proc = fake::detail::find_locked(fake, inIOProcID);
    if (proc == nullptr) return kAudioHardwareBadObjectError;
    if (proc->device != inDevice) {
      fake.hal_faults.push_back(line + ": " + name + " is registered on " +
                                std::to_string(proc->device));
      return kAudioHardwareBadObjectError;
    }
    if (fake.script.destroy_io_proc_status != 0) return fake.script.destroy_io_proc_status;
    std::erase(fake.io_procs, proc);
    fake.retired_io_procs.push_back(proc);
  }
  fake::detail::retire_io_proc(proc);
  return kAudioHardwareNoError;
}

OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID) {
  State& fake = fake::detail::state();
  std::lock_guard lock(fake.mutex);
  fake::detail::log_locked(fake, "AudioDeviceStart(" + std::to_string(inDevice) + ", " +
                                     fake::detail::io_proc_name_locked(fake, inProcID) + ")");
  // A null IOProc starts the device's hardware alone, as on the HAL.
  if (inProcID == nullptr) return fake.script.start_status;
  const auto proc = fake::detail::find_locked(fake, inProcID);
  if (proc == nullptr || proc->device != inDevice) return kAudioHardwareBadObjectError;
  if (fake.script.start_status != 0) return fake.script.start_status;
  if (proc->started_order == 0) proc->started_order = fake.next_start++;
  return kAudioHardwareNoError;
}

}  // namespace system_audio::platform

namespace system_audio::fake {

CycleBuffer float_buffer(UInt32 channels, const std::vector<float>& samples) {
  CycleBuffer buffer;
  buffer.channels = channels;
  buffer.bytes.resize(samples.size() * sizeof(float));
  if (!samples.empty()) std::memcpy(buffer.bytes.data(), samples.data(), buffer.bytes.size());
  return buffer;
}

bool deliver_io_cycle(std::vector<CycleBuffer> buffers) {
  detail::State& fake = detail::state();
  std::shared_ptr<detail::IoProc> proc;
  {
    std::lock_guard lock(fake.mutex);
    for (const auto& candidate : fake.io_procs) {
      if (candidate->started_order != 0 &&
          (proc == nullptr || candidate->started_order > proc->started_order)) {
        proc = candidate;
      }
    }
    if (proc == nullptr) return false;
    ++fake.outstanding_cycles;
  }
  auto cycle = std::make_shared<const detail::CycleCopy>(std::move(buffers));
  if (proc->queue == nullptr) {
    // Without a queue the HAL calls the block on its own IO thread: here, the caller's.
    detail::run_cycle(proc, *cycle);
  } else {
    standin::dispatch_async(proc->queue, [proc, cycle] { detail::run_cycle(proc, *cycle); });
  }
  return true;
}

bool deliver_io_cycle(const AudioBufferList& list) {
  std::vector<CycleBuffer> buffers;
  const AudioBuffer* records = list.mBuffers;
  for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
    const AudioBuffer& record = records[i];
    CycleBuffer buffer;
    buffer.channels = record.mNumberChannels;
    buffer.null_data = record.mData == nullptr;
    buffer.bytes.resize(record.mDataByteSize);
    if (record.mData != nullptr && record.mDataByteSize != 0) {
      std::memcpy(buffer.bytes.data(), record.mData, record.mDataByteSize);
    }
    buffers.push_back(std::move(buffer));
  }
  return deliver_io_cycle(std::move(buffers));
}

void wait_until_delivered() {
  detail::State& fake = detail::state();
  std::unique_lock lock(fake.mutex);
  fake.cycles_done.wait(lock, [&] { return fake.outstanding_cycles == 0; });
}

std::size_t delivered_cycles() {
  detail::State& fake = detail::state();
  std::lock_guard lock(fake.mutex);
  return fake.delivered_cycles;
}

}  // namespace system_audio::fake
