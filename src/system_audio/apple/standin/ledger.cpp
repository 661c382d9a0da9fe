// The ledger of live objects, reference counting, misuse faults and the call
// hook.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {
namespace {

struct Ledger {
  std::mutex mutex;
  // Keyed by address so that a release of anything not alive is caught
  // without touching it.
  std::unordered_map<const void*, Object*> live;
  // Forgotten by a reset but perhaps still in use (a queue's worker, a leak
  // a test reported): kept allocated.
  std::vector<Object*> abandoned;
  std::vector<std::string> faults;
  std::uint64_t next_serial = 1;
  std::shared_ptr<const CallHook> hook;
  std::atomic<bool> has_hook{false};
};

Ledger& ledger() {
  // Never destroyed: queue workers may still release objects while main exits.
  static Ledger* const instance = new Ledger();
  return *instance;
}

bool accepts(const Object& object, std::string_view call) {
  return call == object.release_call || call == "internal" ||
         (call == "NSObject_release" && std::string_view(object.release_call) == "CFRelease");
}

}  // namespace

void adopt(Object* object, const std::type_info& type) {
  object->type = &type;
  Ledger& l = ledger();
  std::lock_guard lock(l.mutex);
  object->serial = l.next_serial++;
  l.live.emplace(static_cast<const void*>(object), object);
}

const Object* live_object(const void* reference) {
  Ledger& l = ledger();
  std::lock_guard lock(l.mutex);
  const auto found = l.live.find(reference);
  return found == l.live.end() ? nullptr : found->second;
}

namespace {

// Adds delta references; at zero the object is destroyed. A release by a
// call that is not the object's own changes nothing.
void change_references(const void* reference, std::string_view call, int delta) {
  if (is_constant(reference)) return;
  Object* dying = nullptr;
  {
    Ledger& l = ledger();
    std::lock_guard lock(l.mutex);
    const auto found = l.live.find(reference);
    if (found == l.live.end()) {
      l.faults.push_back(std::string(call) + " of " + (reference ? "dead object" : "NULL"));
      return;
    }
    if (delta < 0 && !accepts(*found->second, call)) {
      l.faults.push_back(std::string(call) + " of " + found->second->describe(*found->second));
      return;
    }
    if ((found->second->references += delta) > 0) return;
    dying = found->second;
    l.live.erase(found);
  }
  // Outside the lock: the payload's destructor releases what it holds.
  dying->destroy(dying);
}

}  // namespace

void retain(const void* reference, std::string_view call) {
  change_references(reference, call, 1);
}

void release(const void* reference, std::string_view call) {
  change_references(reference, call, -1);
}

Ref::~Ref() {
  if (object != nullptr) release(object, "internal");
}

bool is_constant(const void* reference) {
  return reference != nullptr && (reference == kCFBooleanTrue || reference == kCFBooleanFalse);
}

std::string describe(const void* reference) {
  if (reference == nullptr) return "NULL";
  if (is_constant(reference)) return reference == kCFBooleanTrue ? "true" : "false";
  const Object* object = live_object(reference);
  return object ? object->describe(*object) : "dead object";
}

std::string content(const void* reference) {
  if (reference == nullptr || is_constant(reference)) return describe(reference);
  const Object* object = live_object(reference);
  return object ? object->content(*object) : "dead object";
}

std::string quoted(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
  }
  return out + '"';
}

std::vector<std::string> live_objects() {
  std::vector<std::pair<std::uint64_t, const Object*>> found;
  Ledger& l = ledger();
  std::lock_guard lock(l.mutex);
  for (const auto& [reference, object] : l.live) found.emplace_back(object->serial, object);
  std::sort(found.begin(), found.end());
  std::vector<std::string> listed;
  for (const auto& [serial, object] : found) listed.push_back(object->describe(*object));
  return listed;
}

std::vector<std::string> faults() {
  Ledger& l = ledger();
  std::lock_guard lock(l.mutex);
  return l.faults;
}

void add_fault(std::string text) {
  Ledger& l = ledger();
  std::lock_guard lock(l.mutex);
  l.faults.push_back(std::move(text));
}

void reset_ledger() {
  Ledger& l = ledger();
  std::lock_guard lock(l.mutex);
  for (const auto& [reference, object] : l.live) l.abandoned.push_back(object);
  l.live.clear();
  l.faults.clear();
}

void set_call_hook(CallHook hook) {
  Ledger& l = ledger();
  std::lock_guard lock(l.mutex);
  l.hook = hook ? std::make_shared<const CallHook>(std::move(hook)) : nullptr;
  l.has_hook = l.hook != nullptr;
}

bool hook_installed() {
  return ledger().has_hook.load();
}

bool report_call(std::string_view function, const std::string& arguments) {
  std::shared_ptr<const CallHook> hook;
  {
    Ledger& l = ledger();
    std::lock_guard lock(l.mutex);
    hook = l.hook;
  }
  return !hook || (*hook)(function, arguments);
}

std::string argument_text(const void* object) {
  return describe(object);
}
std::string argument_text(const char* text) {
  return text == nullptr ? "NULL" : quoted(text);
}
std::string argument_text(std::string_view text) {
  return quoted(text);
}

}  // namespace system_audio::standin
