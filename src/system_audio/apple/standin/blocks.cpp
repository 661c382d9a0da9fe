// Heap blocks: Block_copy adds a reference, Block_release drops one; the last
// one disposes of the captured context.

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {

std::string describe(const BlockPayload& block) {
  return block.name;
}

}  // namespace system_audio::standin

using namespace system_audio;

void* _Block_copy(const void* block) {
  standin::call("Block_copy", block);
  standin::retain(block, "Block_copy");
  return const_cast<void*>(block);
}

void _Block_release(const void* block) {
  standin::call("Block_release", block);
  // Block_release(NULL) does nothing on the platform.
  if (block != nullptr) standin::release(block, "Block_release");
}

namespace system_audio::apple {

AudioDeviceIOBlock AudioDeviceIOBlock_create(AudioDeviceIOBlockInvoke invoke, void* context,
                                             BlockDispose dispose) {
  return standin::make_block<AudioDeviceIOBlock>("AudioDeviceIOBlock", invoke, context, dispose);
}

AudioObjectPropertyListenerBlock AudioObjectPropertyListenerBlock_create(
    AudioObjectPropertyListenerBlockInvoke invoke, void* context, BlockDispose dispose) {
  return standin::make_block<AudioObjectPropertyListenerBlock>("AudioObjectPropertyListenerBlock",
                                                               invoke, context, dispose);
}

}  // namespace system_audio::apple
