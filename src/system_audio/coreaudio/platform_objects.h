#pragma once

#include <utility>

#include "system_audio/coreaudio/platform/coreaudio_platform.h"

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

template <class T>
using CfRef = PlatformRef<T, &platform::CFRelease>;
template <class T>
using NsRef = PlatformRef<T*, &platform::NSObject_release>;
using BlockRef = PlatformRef<platform::AudioDeviceIOBlock, &platform::Block_release>;
using QueueRef = PlatformRef<platform::dispatch_queue_t, &platform::dispatch_release>;

}  // namespace system_audio
