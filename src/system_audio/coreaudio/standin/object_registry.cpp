#include "system_audio/coreaudio/standin/object_registry.h"

#include <algorithm>
#include <cstdio>

#include "system_audio/coreaudio/standin/utf16_text.h"

namespace system_audio::standin::detail {
namespace {

std::string_view call_name(ReleaseCall call) {
  switch (call) {
    case ReleaseCall::cf_release:
      return "CFRelease";
    case ReleaseCall::ns_object_release:
      return "NSObject_release";
    case ReleaseCall::dispatch_release:
      return "dispatch_release";
    case ReleaseCall::block_release:
      return "Block_release";
    case ReleaseCall::internal:
      break;
  }
  return "release by its container";
}

// Queues and blocks have their own release functions; everything else is a
// CF or Foundation object, which CFRelease and -release both accept (the
// strings and arrays are toll-free bridged).
bool accepts(ReleaseCall call, ObjectKind kind) {
  const bool own_release = kind == ObjectKind::dispatch_queue || kind == ObjectKind::io_block;
  switch (call) {
    case ReleaseCall::dispatch_release:
      return kind == ObjectKind::dispatch_queue;
    case ReleaseCall::block_release:
      return kind == ObjectKind::io_block;
    case ReleaseCall::internal:
      return true;
    case ReleaseCall::cf_release:
    case ReleaseCall::ns_object_release:
      break;
  }
  return !own_release;
}

std::string initial_description(const Object& object) {
  switch (object.kind) {
    case ObjectKind::cf_string:
      return "CFString " + quoted(utf8_from_utf16(object.units));
    case ObjectKind::ns_string:
      return "NSString " + quoted(utf8_from_utf16(object.units));
    case ObjectKind::cf_number:
      return "CFNumber " + std::to_string(object.number);
    case ObjectKind::cf_boolean:
      return object.boolean ? "CFBoolean true" : "CFBoolean false";
    case ObjectKind::cf_array:
      return "CFArray[" + std::to_string(object.items.size()) + "]";
    case ObjectKind::ns_array:
      return "NSArray";
    case ObjectKind::cf_dictionary:
      return "CFDictionary{" + std::to_string(object.entries.size()) + "}";
    case ObjectKind::tap_description:
      return "CATapDescription";
    case ObjectKind::dispatch_queue:
      return "dispatch_queue " + quoted(object.label);
    case ObjectKind::io_block:
      return "AudioDeviceIOBlock";
  }
  return "object";
}

}  // namespace

Registry& Registry::instance() {
  // Never destroyed: queue workers and abandoned objects may outlive main.
  static Registry* const registry = new Registry();
  return *registry;
}

const void* Registry::adopt(std::unique_ptr<Object> object) {
  object->description = initial_description(*object);
  const void* reference = object.get();
  std::lock_guard lock(mutex_);
  object->serial = next_serial_++;
  objects_.emplace(reference, std::move(object));
  return reference;
}

Object* Registry::find_locked(const void* reference) {
  if (reference == nullptr) return nullptr;
  if (reference == &true_object()) return &true_object();
  if (reference == &false_object()) return &false_object();
  const auto found = objects_.find(reference);
  return found == objects_.end() ? nullptr : found->second.get();
}

Object* Registry::live_locked(const void* reference) {
  Object* object = find_locked(reference);
  return object != nullptr && object->alive ? object : nullptr;
}

void Registry::fault(std::string text) {
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(text));
}

void Registry::release(const void* reference, ReleaseCall call) {
  std::vector<const void*> children;
  std::shared_ptr<QueueCore> queue;
  {
    std::lock_guard lock(mutex_);
    const std::string name(call_name(call));
    if (reference == nullptr) {
      // A message to nil and Block_release(NULL) do nothing on the platform.
      if (call != ReleaseCall::ns_object_release && call != ReleaseCall::block_release) {
        faults_.push_back(name + " of NULL");
      }
      return;
    }
    Object* object = find_locked(reference);
    if (object == nullptr) {
      faults_.push_back(name + " of unknown object");
      return;
    }
    if (!object->alive) {
      faults_.push_back(name + " of released " + object->description);
      return;
    }
    if (!accepts(call, object->kind)) {
      faults_.push_back(name + " of " + object->description);
      return;
    }
    if (object->immortal || --object->references > 0) return;

    object->alive = false;
    if (object->retains_values) children = std::move(object->items);
    for (const auto& [key, value] : object->entries) {
      if (object->retains_keys) children.push_back(key);
      if (object->retains_values) children.push_back(value);
    }
    queue = std::move(object->queue);
    object->units.clear();
    object->items.clear();
    object->entries.clear();
    object->tap = {};
  }
  for (const void* child : children) release(child, ReleaseCall::internal);
  if (queue) stop_queue(std::move(queue));
}

void Registry::retain(const void* reference, std::string_view call) {
  std::lock_guard lock(mutex_);
  Object* object = find_locked(reference);
  if (object == nullptr) {
    faults_.push_back(std::string(call) +
                      (reference == nullptr ? " of NULL" : " of unknown object"));
  } else if (!object->alive) {
    faults_.push_back(std::string(call) + " of released " + object->description);
  } else if (!object->immortal) {
    ++object->references;
  }
}

std::vector<LedgerEntry> Registry::live_objects() {
  std::vector<std::pair<std::uint64_t, LedgerEntry>> found;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [reference, object] : objects_) {
      if (!object->alive) continue;
      found.push_back(
          {object->serial, {reference, object->kind, object->references, object->description}});
    }
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<LedgerEntry> entries;
  entries.reserve(found.size());
  for (auto& [serial, entry] : found) entries.push_back(std::move(entry));
  return entries;
}

std::vector<std::string> Registry::faults() {
  std::lock_guard lock(mutex_);
  return faults_;
}

void Registry::reset() {
  std::lock_guard lock(mutex_);
  for (auto& [reference, object] : objects_) {
    // A live object may still be in use (a queue's worker, a leaked string):
    // keep it allocated, just stop listing it.
    if (object->alive) abandoned_.push_back(std::move(object));
  }
  objects_.clear();
  faults_.clear();
}

void Registry::set_hook(CallHook hook) {
  std::shared_ptr<const CallHook> installed;
  if (hook) installed = std::make_shared<const CallHook>(std::move(hook));
  std::lock_guard lock(hook_mutex_);
  hook_ = std::move(installed);
}

std::shared_ptr<const CallHook> Registry::hook() {
  std::lock_guard lock(hook_mutex_);
  return hook_;
}

std::string quoted(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string yes_no(bool value) {
  return value ? "YES" : "NO";
}

std::string encoding_text(std::uint32_t encoding) {
  if (encoding == platform::kCFStringEncodingUTF8) return "UTF8";
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(encoding));
  return text;
}

std::string describe_locked(Registry& registry, const void* reference) {
  if (reference == nullptr) return "NULL";
  const Object* object = registry.find_locked(reference);
  if (object == nullptr) return "unknown object";
  return object->alive ? object->description : "released " + object->description;
}

}  // namespace system_audio::standin::detail
