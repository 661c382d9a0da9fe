#pragma once

// The runtime's records and the one registry that owns them. Internal to the
// stand-in runtime: bindings and tests use standin_runtime.h.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "system_audio/coreaudio/standin/standin_runtime.h"

namespace system_audio::standin::detail {

struct QueueCore;

// One platform object. Its address is the object reference handed out. The
// payload fields used depend on kind.
struct Object {
  ObjectKind kind = ObjectKind::cf_string;
  long references = 1;
  bool alive = true;
  bool immortal = false;  // the CFBoolean constants
  std::uint64_t serial = 0;
  std::string description;  // fixed at creation: every payload shown in it is immutable

  std::u16string units;                                      // CFString, NSString
  platform::SInt32 number = 0;                               // CFNumber
  bool boolean = false;                                      // CFBoolean
  std::vector<const void*> items;                            // CFArray, NSArray
  std::vector<std::pair<const void*, const void*>> entries;  // CFDictionary
  bool retains_keys = false;                                 // CFArray items count as values
  bool retains_values = false;
  TapDescriptionFields tap;  // CATapDescription
  std::string label;         // dispatch queue
  std::shared_ptr<QueueCore> queue;
  platform::AudioDeviceIOFunction function = nullptr;  // IO block
  void* context = nullptr;
};

// How an object is given back; decides which kinds the call accepts and how
// its faults read.
enum class ReleaseCall { cf_release, ns_object_release, dispatch_release, block_release, internal };

class Registry {
 public:
  static Registry& instance();

  std::mutex& mutex() { return mutex_; }

  // Registers a new object (one reference) and returns its reference.
  const void* adopt(std::unique_ptr<Object> object);

  // The record behind a reference, alive or quarantined; nullptr for null and
  // unknown addresses. Caller holds mutex().
  Object* find_locked(const void* reference);
  // Only alive records.
  Object* live_locked(const void* reference);

  void fault_locked(std::string text) { faults_.push_back(std::move(text)); }
  void fault(std::string text);

  // Drops one reference; at zero the object dies: its payload goes, the
  // elements it retained are released and a queue drains and stops.
  void release(const void* reference, ReleaseCall call);
  // Adds one reference to a live object; a fault otherwise.
  void retain(const void* reference, std::string_view call);

  std::vector<LedgerEntry> live_objects();
  std::vector<std::string> faults();
  void reset();

  void set_hook(CallHook hook);
  std::shared_ptr<const CallHook> hook();

 private:
  Registry() = default;

  std::mutex mutex_;
  std::unordered_map<const void*, std::unique_ptr<Object>> objects_;
  std::vector<std::unique_ptr<Object>> abandoned_;
  std::vector<std::string> faults_;
  std::uint64_t next_serial_ = 1;
  std::mutex hook_mutex_;
  std::shared_ptr<const CallHook> hook_;
};

// The two CFBoolean records.
Object& true_object();
Object& false_object();

// Reports a platform call to the hook; false when the hook makes it fail.
// The argument text is only built when a hook is installed.
template <class MakeArguments>
bool call_allowed(std::string_view function, MakeArguments&& make_arguments) {
  const std::shared_ptr<const CallHook> hook = Registry::instance().hook();
  if (!hook) return true;
  return (*hook)(function, make_arguments());
}

// Text pieces of call arguments.
std::string quoted(std::string_view bytes);
std::string yes_no(bool value);
std::string encoding_text(std::uint32_t encoding);
// describe() for a caller that already holds the registry's mutex.
std::string describe_locked(Registry& registry, const void* reference);

// Stops a queue whose last reference went (queue core is defined with dispatch).
void stop_queue(std::shared_ptr<QueueCore> core);

}  // namespace system_audio::standin::detail
