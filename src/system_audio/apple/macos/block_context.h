#pragma once

// What every block of the binding captures: the factory's context and the
// function that disposes of it. The block holds it by a shared owner, so the
// copy Block_copy makes and the literal share one owner; when the heap block's
// last reference is released, the owner goes and disposes of the context,
// whether the block ever ran or not.

#include <memory>
#include <new>

#include "system_audio/apple/foundation.h"

namespace system_audio::macos {

struct BlockContext {
  void* context;
  apple::BlockDispose dispose;

  BlockContext(void* context_value, apple::BlockDispose dispose_value)
      : context(context_value), dispose(dispose_value) {}
  BlockContext(const BlockContext&) = delete;
  BlockContext& operator=(const BlockContext&) = delete;
  ~BlockContext() {
    if (dispose != nullptr) dispose(context);
  }
};

// The owner, or nullptr after disposing of the context at once when there is
// no memory for it.
inline std::shared_ptr<const BlockContext> own_block_context(void* context,
                                                             apple::BlockDispose dispose) {
  try {
    return std::make_shared<const BlockContext>(context, dispose);
  } catch (const std::bad_alloc&) {
    if (dispose != nullptr) dispose(context);
    return nullptr;
  }
}

}  // namespace system_audio::macos
