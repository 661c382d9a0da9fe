// CATapDescription: what the framework copies from its initialiser and
// setters, readable as text by the HAL bindings.

#include "system_audio/apple/standin/objects.h"
#include "system_audio/apple/standin/tap_fields.h"

namespace system_audio::standin {

std::string describe(const TapFields&) {
  return "CATapDescription";
}

std::string content(const TapFields& tap) {
  if (!tap.initialised) return "CATapDescription (uninitialised)";
  const std::string processes =
      (tap.exclusive ? "excluding " : "only ") + std::to_string(tap.processes);
  return "CATapDescription{" + processes + ", device " + quoted(tap.device_uid) + ", stream " +
         std::to_string(tap.stream) + ", name " + (tap.name ? quoted(*tap.name) : "nil") +
         ", mixdown " + argument_text(tap.mixdown) + ", mono " + argument_text(tap.mono) +
         ", exclusive " + argument_text(tap.exclusive) + ", private " +
         argument_text(tap.is_private) + ", mute " + std::to_string(tap.mute_behavior) + "}";
}

}  // namespace system_audio::standin

namespace system_audio::apple {
namespace {

// A message to nil does nothing; anything but a live, initialised description
// is recorded.
template <auto Field, class Value>
void set_field(const char* selector, CATapDescription* self, Value value) {
  standin::call(selector, self, value);
  if (self == nullptr) return;
  standin::TapFields* tap = standin::payload_of<standin::TapFields>(self);
  if (tap == nullptr || !tap->initialised) {
    standin::add_fault(std::string(selector) + " sent to " +
                       (tap ? standin::content(self) : standin::describe(self)));
    return;
  }
  tap->*Field = value;
}

}  // namespace

CATapDescription* CATapDescription_alloc() {
  if (!standin::call("CATapDescription_alloc")) return nullptr;
  return static_cast<CATapDescription*>(
      const_cast<void*>(standin::make_object(standin::TapFields{}, "NSObject_release")));
}

CATapDescription* CATapDescription_initWithProcesses_andDeviceUID_withStream(CATapDescription* self,
                                                                             NSArray* processes,
                                                                             NSString* deviceUID,
                                                                             NSInteger stream) {
  const bool allowed = standin::call("CATapDescription_initWithProcesses_andDeviceUID_withStream",
                                     self, processes, deviceUID, stream);
  if (self == nullptr) return nullptr;
  standin::TapFields* tap = standin::payload_of<standin::TapFields>(self);
  if (tap == nullptr || tap->initialised) {
    standin::add_fault("CATapDescription init sent to " + standin::content(self));
    return nullptr;
  }
  const auto* list = standin::payload_of<standin::ArrayPayload>(processes);
  const auto uid = standin::text_of(deviceUID);
  if (!allowed || list == nullptr || !uid) {
    // An initialiser that fails releases the object it was sent to.
    standin::release(self, "internal");
    return nullptr;
  }
  tap->initialised = true;
  tap->processes = list->items.size();
  tap->device_uid = *uid;
  tap->stream = stream;
  return self;
}

void CATapDescription_setName(CATapDescription* self, NSString* name) {
  standin::call("CATapDescription_setName", self, name);
  if (self == nullptr) return;
  auto* tap = standin::payload_of<standin::TapFields>(self);
  const auto text = standin::text_of(name);
  if (tap == nullptr || !tap->initialised || (name != nullptr && !text)) {
    standin::add_fault("CATapDescription_setName sent to " + standin::content(self) + " with " +
                       standin::describe(name));
    return;
  }
  tap->name = text;
}

void CATapDescription_setMixdown(CATapDescription* self, BOOL value) {
  set_field<&standin::TapFields::mixdown>("CATapDescription_setMixdown", self, value);
}
void CATapDescription_setMono(CATapDescription* self, BOOL value) {
  set_field<&standin::TapFields::mono>("CATapDescription_setMono", self, value);
}
void CATapDescription_setExclusive(CATapDescription* self, BOOL value) {
  set_field<&standin::TapFields::exclusive>("CATapDescription_setExclusive", self, value);
}
void CATapDescription_setPrivate(CATapDescription* self, BOOL value) {
  set_field<&standin::TapFields::is_private>("CATapDescription_setPrivate", self, value);
}
void CATapDescription_setMuteBehavior(CATapDescription* self, CATapMuteBehavior value) {
  set_field<&standin::TapFields::mute_behavior>("CATapDescription_setMuteBehavior", self,
                                                long(value));
}

}  // namespace system_audio::apple
