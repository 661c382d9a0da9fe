// Foundation arrays and strings, -release, and CATapDescription.

#include <memory>
#include <string>

#include "system_audio/coreaudio/standin/object_registry.h"
#include "system_audio/coreaudio/standin/utf16_text.h"

namespace system_audio::platform {
namespace {

using standin::ObjectKind;
using standin::detail::Object;
using standin::detail::Registry;
using standin::detail::ReleaseCall;

std::string ns_encoding_text(NSStringEncoding encoding) {
  return encoding == NSUTF8StringEncoding ? "UTF8" : std::to_string(encoding);
}

// A message to a tap description: nil does nothing; anything but a live,
// initialised CATapDescription is recorded. Calls change(fields) under the lock.
template <class Change>
void change_tap(CATapDescription* self, const char* selector, Change change) {
  if (self == nullptr) return;
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  Object* object = registry.live_locked(self);
  if (object == nullptr || object->kind != ObjectKind::tap_description ||
      !object->tap.initialised) {
    registry.fault_locked(std::string(selector) + " sent to " +
                          (object != nullptr && object->kind == ObjectKind::tap_description
                               ? "an uninitialised CATapDescription"
                               : standin::detail::describe_locked(registry, self)));
    return;
  }
  change(object->tap);
}

template <class Change>
void set_tap_field(CATapDescription* self, const char* selector, const std::string& value_text,
                   Change change) {
  standin::detail::call_allowed(selector,
                                [&] { return standin::describe(self) + ", " + value_text; });
  change_tap(self, selector, change);
}

}  // namespace

NSArray* NSArray_new() {
  if (!standin::detail::call_allowed("NSArray_new", [] { return std::string(); })) return nullptr;
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::ns_array;
  return static_cast<NSArray*>(const_cast<void*>(Registry::instance().adopt(std::move(object))));
}

NSString* NSString_alloc_initWithBytes_length_encoding(const void* bytes, NSUInteger length,
                                                       NSStringEncoding encoding) {
  const std::string_view text = bytes == nullptr
                                    ? std::string_view()
                                    : std::string_view(static_cast<const char*>(bytes), length);
  if (!standin::detail::call_allowed("NSString_alloc_initWithBytes_length_encoding", [&] {
        return (bytes == nullptr ? std::string("NULL") : standin::detail::quoted(text)) + ", " +
               ns_encoding_text(encoding);
      })) {
    return nullptr;
  }
  if (bytes == nullptr && length > 0) return nullptr;
  if (encoding != NSUTF8StringEncoding) return nullptr;
  auto units = standin::utf16_from_utf8(text);
  if (!units) return nullptr;
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::ns_string;
  object->units = std::move(*units);
  return static_cast<NSString*>(const_cast<void*>(Registry::instance().adopt(std::move(object))));
}

void NSObject_release(const void* object) {
  standin::detail::call_allowed("NSObject_release", [&] { return standin::describe(object); });
  Registry::instance().release(object, ReleaseCall::ns_object_release);
}

CATapDescription* CATapDescription_alloc() {
  if (!standin::detail::call_allowed("CATapDescription_alloc", [] { return std::string(); })) {
    return nullptr;
  }
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::tap_description;
  return static_cast<CATapDescription*>(
      const_cast<void*>(Registry::instance().adopt(std::move(object))));
}

CATapDescription* CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
    CATapDescription* self, NSArray* processes, NSString* deviceUID, NSInteger stream) {
  const bool allowed = standin::detail::call_allowed(
      "CATapDescription_initExcludingProcesses_andDeviceUID_withStream", [&] {
        return standin::describe(self) + ", " + standin::describe(processes) + ", " +
               standin::describe(deviceUID) + ", " + std::to_string(stream);
      });
  if (self == nullptr) return nullptr;
  Registry& registry = Registry::instance();
  bool failed = !allowed;
  {
    std::lock_guard lock(registry.mutex());
    Object* tap = registry.live_locked(self);
    if (tap == nullptr || tap->kind != ObjectKind::tap_description || tap->tap.initialised) {
      // Not a fresh allocation: nothing to consume.
      registry.fault_locked("CATapDescription init sent to " +
                            (tap != nullptr && tap->kind == ObjectKind::tap_description
                                 ? std::string("an initialised CATapDescription")
                                 : standin::detail::describe_locked(registry, self)));
      return nullptr;
    }
    const Object* list = registry.live_locked(processes);
    const Object* uid = registry.live_locked(deviceUID);
    const bool list_ok = list != nullptr &&
                         (list->kind == ObjectKind::ns_array || list->kind == ObjectKind::cf_array);
    const bool uid_ok = uid != nullptr &&
                        (uid->kind == ObjectKind::ns_string || uid->kind == ObjectKind::cf_string);
    if (!list_ok || !uid_ok) failed = true;
    if (!failed) {
      // The framework copies what it is given; later changes to the
      // arguments, or their release, do not reach the description.
      tap->tap.initialised = true;
      tap->tap.excluded_processes = list->items.size();
      tap->tap.device_uid = standin::utf8_from_utf16(uid->units);
      tap->tap.stream = stream;
    }
  }
  if (failed) {
    // An initialiser that fails releases the object it was sent to.
    registry.release(self, ReleaseCall::internal);
    return nullptr;
  }
  return self;
}

void CATapDescription_setName(CATapDescription* self, NSString* name) {
  standin::detail::call_allowed("CATapDescription_setName", [&] {
    return standin::describe(self) + ", " + standin::describe(name);
  });
  std::optional<std::string> text;
  if (name != nullptr) {
    text = standin::text_of(name);
    if (!text) {
      Registry::instance().fault("CATapDescription_setName with " + standin::describe(name));
      return;
    }
  }
  change_tap(self, "CATapDescription_setName",
             [&](standin::TapDescriptionFields& fields) { fields.name = text; });
}

void CATapDescription_setMixdown(CATapDescription* self, BOOL mixdown) {
  set_tap_field(self, "CATapDescription_setMixdown", standin::detail::yes_no(mixdown),
                [&](standin::TapDescriptionFields& fields) { fields.mixdown = mixdown; });
}

void CATapDescription_setMono(CATapDescription* self, BOOL mono) {
  set_tap_field(self, "CATapDescription_setMono", standin::detail::yes_no(mono),
                [&](standin::TapDescriptionFields& fields) { fields.mono = mono; });
}

void CATapDescription_setExclusive(CATapDescription* self, BOOL exclusive) {
  set_tap_field(self, "CATapDescription_setExclusive", standin::detail::yes_no(exclusive),
                [&](standin::TapDescriptionFields& fields) { fields.exclusive = exclusive; });
}

void CATapDescription_setPrivate(CATapDescription* self, BOOL isPrivate) {
  set_tap_field(self, "CATapDescription_setPrivate", standin::detail::yes_no(isPrivate),
                [&](standin::TapDescriptionFields& fields) { fields.is_private = isPrivate; });
}

void CATapDescription_setMuteBehavior(CATapDescription* self, CATapMuteBehavior behavior) {
  set_tap_field(self, "CATapDescription_setMuteBehavior",
                std::to_string(static_cast<NSInteger>(behavior)),
                [&](standin::TapDescriptionFields& fields) { fields.mute_behavior = behavior; });
}

}  // namespace system_audio::platform
