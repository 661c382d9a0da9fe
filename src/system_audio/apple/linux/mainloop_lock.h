#pragma once

#include <pulse/thread-mainloop.h>

namespace system_audio::pulse {

// Holds the threaded mainloop's lock for a scope: every libpulse call outside
// the loop's own thread must be made under it.
class MainloopLock {
 public:
  explicit MainloopLock(pa_threaded_mainloop* mainloop) : mainloop_(mainloop) {
    pa_threaded_mainloop_lock(mainloop_);
  }
  ~MainloopLock() { pa_threaded_mainloop_unlock(mainloop_); }
  MainloopLock(const MainloopLock&) = delete;
  MainloopLock& operator=(const MainloopLock&) = delete;

 private:
  pa_threaded_mainloop* mainloop_;
};

}  // namespace system_audio::pulse
