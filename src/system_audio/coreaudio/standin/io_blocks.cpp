// Heap blocks for IOProcs: a record of the body and its one captured value.

#include <memory>
#include <string>

#include "system_audio/coreaudio/standin/object_registry.h"

namespace system_audio::platform {

using standin::detail::Object;
using standin::detail::Registry;

AudioDeviceIOBlock AudioDeviceIOBlock_create(AudioDeviceIOFunction function, void* context) {
  if (!standin::detail::call_allowed("AudioDeviceIOBlock_create", [] { return std::string(); })) {
    return nullptr;
  }
  if (function == nullptr) {
    Registry::instance().fault("AudioDeviceIOBlock_create without a body");
    return nullptr;
  }
  auto object = std::make_unique<Object>();
  object->kind = standin::ObjectKind::io_block;
  object->function = function;
  object->context = context;
  return static_cast<AudioDeviceIOBlock>(
      const_cast<void*>(Registry::instance().adopt(std::move(object))));
}

void Block_release(AudioDeviceIOBlock block) {
  standin::detail::call_allowed("Block_release", [&] { return standin::describe(block); });
  Registry::instance().release(block, standin::detail::ReleaseCall::block_release);
}

}  // namespace system_audio::platform

namespace system_audio::standin {

bool invoke_io_block(platform::AudioDeviceIOBlock block, const AudioBufferList* input,
                     AudioBufferList* output, const platform::AudioTimeStamp* now,
                     const platform::AudioTimeStamp* input_time,
                     const platform::AudioTimeStamp* output_time) {
  platform::AudioDeviceIOFunction function = nullptr;
  void* context = nullptr;
  {
    detail::Registry& registry = detail::Registry::instance();
    std::lock_guard lock(registry.mutex());
    const detail::Object* object = registry.live_locked(block);
    if (object == nullptr || object->kind != ObjectKind::io_block) {
      registry.fault_locked("IO block call on " + detail::describe_locked(registry, block));
      return false;
    }
    function = object->function;
    context = object->context;
  }
  function(context, now, input, input_time, output, output_time);
  return true;
}

platform::AudioDeviceIOBlock retain_block(platform::AudioDeviceIOBlock block) {
  detail::Registry::instance().retain(block, "Block_copy");
  return block;
}

}  // namespace system_audio::standin
