// Heap blocks: Block_copy adds a reference, Block_release drops one; the last
// one disposes of the captured context.

#include "system_audio/apple/standin/runtime.h"

using namespace system_audio;

void* _Block_copy(const void* block) {
  if (standin::called("Block_copy", block)) standin::retain(block);
  return const_cast<void*>(block);
}

void _Block_release(const void* block) {
  // Block_release(NULL) does nothing on the platform.
  if (block != nullptr && standin::called("Block_release", block)) standin::release(block);
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
