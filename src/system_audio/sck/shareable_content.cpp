#include "system_audio/sck/shareable_content.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "system_audio/apple/cf_text.h"

namespace system_audio {

using namespace apple;

namespace {

// One wait for the shareable content; a wake-up without a value starts another.
constexpr auto kContentWait = std::chrono::seconds(6);

using ContentResult = Result<NsRef<SCShareableContent>>;

// Shared by the waiting start and the completion handler, whichever lets go
// last; a late handler's content is released with it.
struct ContentSlot {
  std::mutex mutex;
  bool broken = false;  // a holder of the lock ended by an exception; stays so
  std::optional<ContentResult> value;
  std::condition_variable wake_up;
};

// Holds the slot's lock. A holder that ends by an exception breaks the lock
// for good, and wakes the waiter so that it reports that at once.
class SlotLock {
 public:
  explicit SlotLock(ContentSlot& slot)
      : slot_(slot), lock_(slot.mutex), exceptions_(std::uncaught_exceptions()) {}
  SlotLock(const SlotLock&) = delete;
  SlotLock& operator=(const SlotLock&) = delete;
  ~SlotLock() {
    if (std::uncaught_exceptions() > exceptions_) {
      slot_.broken = true;
      slot_.wake_up.notify_all();
    }
  }

  std::unique_lock<std::mutex>& lock() { return lock_; }

 private:
  ContentSlot& slot_;
  std::unique_lock<std::mutex> lock_;
  int exceptions_;
};

using SlotReference = std::shared_ptr<ContentSlot>;

// Objects handed to the handler are borrowed: keep the content by retaining it.
ContentResult content_result(SCShareableContent* content, NSError* error) {
  if (error != nullptr)
    return fail("ScreenCaptureKit content access failed: " + error_description(error));
  if (content == nullptr) return fail("ScreenCaptureKit returned neither content nor an error");
  return NsRef<SCShareableContent>(retained(content));
}

void on_content(void* context, SCShareableContent* content, NSError* error) noexcept {
  ContentSlot& slot = **static_cast<SlotReference*>(context);
  // Nothing may leave this block for the framework; a failure inside the lock
  // has broken it, and the waiter reports that.
  try {
    SlotLock guard(slot);
    if (slot.broken) return;
    slot.value = content_result(content, error);
    slot.wake_up.notify_all();
  } catch (...) {
  }
}

void drop_handler_reference(void* context) {
  delete static_cast<SlotReference*>(context);
}

}  // namespace

Result<NsRef<SCShareableContent>> current_shareable_content() {
  auto slot = std::make_shared<ContentSlot>();
  // The block owns its reference from here on, made or not.
  BlockRef<SCShareableContentCompletionHandler> handler(SCShareableContentCompletionHandler_create(
      &on_content, new SlotReference(slot), &drop_handler_reference));
  if (!handler) return fail("ScreenCaptureKit could not create the content completion handler");
  SCShareableContent_getShareableContentExcludingDesktopWindows_onScreenWindowsOnly_completionHandler(
      false, true, handler.get());
  handler.reset();

  SlotLock guard(*slot);
  if (slot->broken) return fail("ScreenCaptureKit content wait lock was poisoned");
  while (!slot->value) {
    const std::cv_status waited = slot->wake_up.wait_for(guard.lock(), kContentWait);
    if (slot->broken) return fail("ScreenCaptureKit content wait was poisoned");
    if (waited == std::cv_status::timeout)
      return fail(
          "ScreenCaptureKit content callback timed out; Screen Recording permission may be "
          "missing");
  }
  ContentResult result = std::move(*slot->value);
  slot->value.reset();
  return result;
}

}  // namespace system_audio
