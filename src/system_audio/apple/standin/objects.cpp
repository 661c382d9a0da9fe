// Reference counting, and the strings, dictionaries and errors bindings read.

#include "system_audio/apple/standin/objects.h"

#include "system_audio/apple/standin/utf16_text.h"

namespace system_audio::standin {

void retain(const void* reference) {
  static_cast<const Object*>(reference)->references.fetch_add(1, std::memory_order_relaxed);
}

void release(const void* reference) {
  auto* object = const_cast<Object*>(static_cast<const Object*>(reference));
  if (object->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  if (Watch* current = watch.load(std::memory_order_acquire)) current->gone(*object);
  object->destroy(object);
}

const void* make_string(std::u16string units, bool ns) {
  return make_object(StringPayload{std::move(units), ns});
}

CFStringRef make_cfstring(std::string_view utf8) {
  auto units = utf16_from_utf8(utf8);
  return units ? static_cast<CFStringRef>(make_string(std::move(*units), false)) : nullptr;
}

std::optional<std::string> text_of(const void* string) {
  const StringPayload* payload = payload_of<StringPayload>(string);
  if (payload == nullptr) return std::nullopt;
  return utf8_from_utf16(payload->units);
}

CFTypeRef dictionary_value(const void* dictionary, std::string_view key) {
  const DictionaryPayload* payload = payload_of<DictionaryPayload>(dictionary);
  if (payload == nullptr) return nullptr;
  for (const auto& [k, value] : payload->entries) {
    if (text_of(k.object) == key) return value.object;
  }
  return nullptr;
}

apple::NSError* make_error(std::string_view text) {
  auto units = utf16_from_utf8(text);
  ErrorPayload error{Ref(make_string(units.value_or(u"\uFFFD"), true))};
  return static_cast<apple::NSError*>(const_cast<void*>(make_object(std::move(error))));
}

}  // namespace system_audio::standin
