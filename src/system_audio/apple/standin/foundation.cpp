// Foundation arrays, strings, errors and -retain / -release.

#include "system_audio/apple/standin/objects.h"
#include "system_audio/apple/standin/utf16_text.h"

namespace system_audio::standin {

std::string describe(const ErrorPayload& error) {
  return "NSError " + quoted(text_of(error.description.object).value_or(""));
}

apple::NSError* make_error(std::string_view text) {
  auto units = utf16_from_utf8(text);
  ErrorPayload error{Ref(make_string(units.value_or(u"\uFFFD"), true))};
  return static_cast<apple::NSError*>(const_cast<void*>(make_object(std::move(error))));
}

}  // namespace system_audio::standin

namespace system_audio::apple {

NSArray* NSArray_new() {
  if (!standin::call("NSArray_new")) return nullptr;
  return static_cast<NSArray*>(
      const_cast<void*>(standin::make_object(standin::ArrayPayload{{}, true})));
}

NSString* NSString_alloc_initWithBytes_length_encoding(const void* bytes, NSUInteger length,
                                                       NSStringEncoding encoding) {
  const std::string_view text = bytes == nullptr
                                    ? std::string_view()
                                    : std::string_view(static_cast<const char*>(bytes), length);
  if (!standin::call("NSString_alloc_initWithBytes_length_encoding", text, encoding)) {
    return nullptr;
  }
  if ((bytes == nullptr && length > 0) || encoding != NSUTF8StringEncoding) return nullptr;
  auto units = standin::utf16_from_utf8(text);
  if (!units) return nullptr;
  return static_cast<NSString*>(const_cast<void*>(standin::make_string(std::move(*units), true)));
}

NSString* NSError_localizedDescription(NSError* error) {
  standin::call("NSError_localizedDescription", error);
  const auto* payload = standin::payload_of<standin::ErrorPayload>(error);
  if (payload == nullptr) {
    standin::add_fault("NSError_localizedDescription of " + standin::describe(error));
    return nullptr;
  }
  return static_cast<NSString*>(const_cast<void*>(payload->description.object));
}

void NSObject_retain(const void* object) {
  standin::call("NSObject_retain", object);
  // A message to nil does nothing.
  if (object != nullptr) standin::retain(object, "NSObject_retain");
}

void NSObject_release(const void* object) {
  standin::call("NSObject_release", object);
  if (object != nullptr) standin::release(object, "NSObject_release");
}

}  // namespace system_audio::apple
