#pragma once

#include <utility>

#include "system_audio/apple/foundation.h"

namespace system_audio {

// One reference to a platform object, given back exactly once: by scope, by
// reset(), or to whoever takes it with release(). An empty holder makes no call.
template <class T, auto Release>
class PlatformRef {
 public:
  PlatformRef() = default;
  explicit PlatformRef(T object) : object_(object) {}
  PlatformRef(const PlatformRef&) = delete;
  PlatformRef& operator=(const PlatformRef&) = delete;
  PlatformRef(PlatformRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PlatformRef& operator=(PlatformRef&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~PlatformRef() { reset(); }

  T get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  T release() { return std::exchange(object_, nullptr); }
  void reset() {
    if (T object = std::exchange(object_, nullptr)) Release(object);
  }

 private:
  T object_ = nullptr;
};

// Functions rather than the platform's own addresses: on macOS Block_release
// is a macro.
template <class T>
void release_cf(T object) {
  CFRelease(object);
}
template <class T>
void release_ns(T* object) {
  apple::NSObject_release(object);
}
template <class Block>
void release_block(Block block) {
  Block_release(block);
}
inline void release_queue(dispatch_queue_t queue) {
  dispatch_release(queue);
}

// [object retain], for keeping what the platform only lends.
template <class T>
T* retained(T* object) {
  apple::NSObject_retain(object);
  return object;
}

template <class T>
using CfRef = PlatformRef<T, &release_cf<T>>;
template <class T>
using NsRef = PlatformRef<T*, &release_ns<T>>;
template <class Block>
using BlockRef = PlatformRef<Block, &release_block<Block>>;
using QueueRef = PlatformRef<dispatch_queue_t, &release_queue>;

}  // namespace system_audio
