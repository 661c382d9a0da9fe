// CATapDescription: what the framework copies from its initialiser and
// setters, for the HAL bindings to read when a tap is made.

#include "system_audio/apple/standin/objects.h"

namespace system_audio::apple {
namespace {

using standin::called;
using standin::TapFields;

// A message to nil does nothing, nor one to a description not initialised.
template <auto Field, class Value>
void set_field(const char* selector, CATapDescription* self, Value value) {
  if (self == nullptr || !called(selector, self)) return;
  TapFields* tap = standin::payload_of<TapFields>(self);
  if (tap != nullptr && tap->initialised) tap->*Field = value;
}

}  // namespace

CATapDescription* CATapDescription_alloc() {
  if (!called("CATapDescription_alloc")) return nullptr;
  return static_cast<CATapDescription*>(const_cast<void*>(standin::make_object(TapFields{})));
}

CATapDescription* CATapDescription_initWithProcesses_andDeviceUID_withStream(CATapDescription* self,
                                                                             NSArray* processes,
                                                                             NSString* deviceUID,
                                                                             NSInteger stream) {
  if (self == nullptr) return nullptr;
  TapFields* tap = standin::payload_of<TapFields>(self);
  const auto* list = standin::payload_of<standin::ArrayPayload>(processes);
  const auto uid = standin::text_of(deviceUID);
  if (!called("CATapDescription_initWithProcesses_andDeviceUID_withStream", self) ||
      tap == nullptr || tap->initialised || list == nullptr || !uid) {
    // An initialiser that fails releases the object it was sent to.
    standin::release(self);
    return nullptr;
  }
  tap->initialised = true;
  tap->processes = list->items.size();
  tap->device_uid = *uid;
  tap->stream = stream;
  return self;
}

void CATapDescription_setName(CATapDescription* self, NSString* name) {
  set_field<&TapFields::name>("CATapDescription_setName", self, standin::text_of(name));
}
void CATapDescription_setMixdown(CATapDescription* self, BOOL value) {
  set_field<&TapFields::mixdown>("CATapDescription_setMixdown", self, value);
}
void CATapDescription_setMono(CATapDescription* self, BOOL value) {
  set_field<&TapFields::mono>("CATapDescription_setMono", self, value);
}
void CATapDescription_setExclusive(CATapDescription* self, BOOL value) {
  set_field<&TapFields::exclusive>("CATapDescription_setExclusive", self, value);
}
void CATapDescription_setPrivate(CATapDescription* self, BOOL value) {
  set_field<&TapFields::is_private>("CATapDescription_setPrivate", self, value);
}
void CATapDescription_setMuteBehavior(CATapDescription* self, CATapMuteBehavior value) {
  set_field<&TapFields::mute_behavior>("CATapDescription_setMuteBehavior", self, long(value));
}

}  // namespace system_audio::apple
