// What bindings and tests read of the runtime's objects, and the ledger.

#include <memory>

#include "system_audio/coreaudio/standin/object_registry.h"
#include "system_audio/coreaudio/standin/utf16_text.h"

namespace system_audio::standin {
namespace {

using detail::Object;
using detail::Registry;

bool is_string(const Object& object) {
  return object.kind == ObjectKind::cf_string || object.kind == ObjectKind::ns_string;
}

bool is_array(const Object& object) {
  return object.kind == ObjectKind::cf_array || object.kind == ObjectKind::ns_array;
}

// Caller holds the registry's mutex.
const Object* live_of_kind(Registry& registry, const void* reference, ObjectKind kind) {
  const Object* object = registry.live_locked(reference);
  return object != nullptr && object->kind == kind ? object : nullptr;
}

const void* value_for_key_locked(Registry& registry, const Object& dictionary,
                                 std::string_view key) {
  for (const auto& [entry_key, value] : dictionary.entries) {
    const Object* key_object = registry.live_locked(entry_key);
    if (key_object != nullptr && is_string(*key_object) &&
        utf8_from_utf16(key_object->units) == key) {
      return value;
    }
  }
  return nullptr;
}

std::optional<Snapshot> snapshot_locked(Registry& registry, const void* reference) {
  const Object* object = registry.live_locked(reference);
  if (object == nullptr) return std::nullopt;
  Snapshot copy;
  copy.kind = object->kind;
  copy.address = reference;
  copy.description = object->description;
  copy.text = is_string(*object) ? utf8_from_utf16(object->units) : object->label;
  copy.number = object->number;
  copy.boolean = object->boolean;
  for (const void* item : object->items) {
    if (auto child = snapshot_locked(registry, item)) copy.items.push_back(std::move(*child));
  }
  for (const auto& [key, value] : object->entries) {
    auto key_copy = snapshot_locked(registry, key);
    auto value_copy = snapshot_locked(registry, value);
    if (key_copy && value_copy) {
      copy.entries.push_back({std::move(*key_copy), std::move(*value_copy)});
    }
  }
  return copy;
}

platform::CFStringRef adopt_string(std::u16string units) {
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::cf_string;
  object->units = std::move(units);
  return static_cast<platform::CFStringRef>(Registry::instance().adopt(std::move(object)));
}

}  // namespace

std::string_view kind_name(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::cf_string:
      return "CFString";
    case ObjectKind::cf_number:
      return "CFNumber";
    case ObjectKind::cf_boolean:
      return "CFBoolean";
    case ObjectKind::cf_array:
      return "CFArray";
    case ObjectKind::cf_dictionary:
      return "CFDictionary";
    case ObjectKind::ns_array:
      return "NSArray";
    case ObjectKind::ns_string:
      return "NSString";
    case ObjectKind::tap_description:
      return "CATapDescription";
    case ObjectKind::dispatch_queue:
      return "dispatch_queue";
    case ObjectKind::io_block:
      return "AudioDeviceIOBlock";
  }
  return "object";
}

std::optional<ObjectKind> kind_of(const void* object) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* found = registry.live_locked(object);
  if (found == nullptr) return std::nullopt;
  return found->kind;
}

std::string describe(const void* object) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  return detail::describe_locked(registry, object);
}

std::optional<std::string> text_of(const void* string) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = registry.live_locked(string);
  if (object == nullptr || !is_string(*object)) return std::nullopt;
  return utf8_from_utf16(object->units);
}

platform::CFStringRef make_cfstring(std::string_view utf8) {
  auto units = utf16_from_utf8(utf8);
  if (!units) return nullptr;
  return adopt_string(std::move(*units));
}

platform::CFStringRef make_cfstring_utf16(std::u16string_view units) {
  return adopt_string(std::u16string(units));
}

std::optional<std::size_t> dictionary_count(const void* dictionary) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = live_of_kind(registry, dictionary, ObjectKind::cf_dictionary);
  if (object == nullptr) return std::nullopt;
  return object->entries.size();
}

platform::CFTypeRef dictionary_value(const void* dictionary, std::string_view key) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = live_of_kind(registry, dictionary, ObjectKind::cf_dictionary);
  if (object == nullptr) return nullptr;
  return value_for_key_locked(registry, *object, key);
}

std::vector<std::string> dictionary_keys(const void* dictionary) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  std::vector<std::string> keys;
  const Object* object = live_of_kind(registry, dictionary, ObjectKind::cf_dictionary);
  if (object == nullptr) return keys;
  for (const auto& entry : object->entries) {
    const Object* key = registry.live_locked(entry.first);
    if (key != nullptr && is_string(*key)) keys.push_back(utf8_from_utf16(key->units));
  }
  return keys;
}

std::optional<std::size_t> array_count(const void* array) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = registry.live_locked(array);
  if (object == nullptr || !is_array(*object)) return std::nullopt;
  return object->items.size();
}

platform::CFTypeRef array_item(const void* array, std::size_t index) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = registry.live_locked(array);
  if (object == nullptr || !is_array(*object) || index >= object->items.size()) return nullptr;
  return object->items[index];
}

std::optional<platform::SInt32> number_value(const void* number) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = live_of_kind(registry, number, ObjectKind::cf_number);
  if (object == nullptr) return std::nullopt;
  return object->number;
}

std::optional<bool> boolean_value(const void* boolean) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = live_of_kind(registry, boolean, ObjectKind::cf_boolean);
  if (object == nullptr) return std::nullopt;
  return object->boolean;
}

const void* retain(const void* object) {
  Registry::instance().retain(object, "CFRetain");
  return object;
}

const Snapshot* Snapshot::find(std::string_view key) const {
  for (const Entry& entry : entries) {
    if ((entry.key.kind == ObjectKind::cf_string || entry.key.kind == ObjectKind::ns_string) &&
        entry.key.text == key) {
      return &entry.value;
    }
  }
  return nullptr;
}

std::optional<Snapshot> snapshot(const void* object) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  return snapshot_locked(registry, object);
}

std::optional<TapDescriptionFields> tap_description_fields(const platform::CATapDescription* tap) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = live_of_kind(registry, tap, ObjectKind::tap_description);
  if (object == nullptr) return std::nullopt;
  return object->tap;
}

std::vector<LedgerEntry> live_objects() {
  return Registry::instance().live_objects();
}

std::vector<std::string> faults() {
  return Registry::instance().faults();
}

void reset_ledger() {
  Registry::instance().reset();
}

void set_call_hook(CallHook hook) {
  Registry::instance().set_hook(std::move(hook));
}

}  // namespace system_audio::standin
