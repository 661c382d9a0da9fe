// CoreFoundation strings, numbers, booleans, arrays and dictionaries.

#include <cstring>

#include "system_audio/apple/standin/objects.h"
#include "system_audio/apple/standin/utf16_text.h"

struct __CFAllocator {
  int tag;
};
struct CFArrayCallBacks {
  int tag;
};
struct CFDictionaryKeyCallBacks {
  int tag;
};
struct CFDictionaryValueCallBacks {
  int tag;
};

namespace system_audio::standin {
namespace {

const __CFAllocator null_allocator{0};
const int true_constant = 1;
const int false_constant = 0;

// A value that is not alive would crash the platform later: the create fails
// instead and the fault is recorded.
std::optional<std::vector<Ref>> retain_all(const void** values, CFIndex count, bool callbacks,
                                           const char* call) {
  if (count < 0 || (values == nullptr && count > 0)) return std::nullopt;
  if (!callbacks) add_fault(std::string(call) + " without the kCFType callbacks");
  std::vector<Ref> kept;
  for (CFIndex i = 0; i < count; ++i) {
    if (!is_constant(values[i]) && live_object(values[i]) == nullptr) {
      add_fault(std::string(call) + " with element " + describe(values[i]));
      return std::nullopt;
    }
    retain(values[i], call);
    kept.emplace_back(values[i]);
  }
  return kept;
}

}  // namespace

std::string describe(const StringPayload& string) {
  return (string.ns ? "NSString " : "CFString ") + quoted(utf8_from_utf16(string.units));
}
std::string content(const StringPayload& string) {
  return quoted(utf8_from_utf16(string.units));
}
std::string describe(const NumberPayload& number) {
  return "CFNumber " + std::to_string(number.value);
}
std::string content(const NumberPayload& number) {
  return std::to_string(number.value);
}
std::string describe(const ArrayPayload& array) {
  return (array.ns ? "NSArray[" : "CFArray[") + std::to_string(array.items.size()) + "]";
}
std::string content(const ArrayPayload& array) {
  std::string text = "[";
  for (const Ref& item : array.items) {
    text += (text.size() > 1 ? ", " : "") + standin::content(item.object);
  }
  return text + "]";
}
std::string describe(const DictionaryPayload& dictionary) {
  return "CFDictionary{" + std::to_string(dictionary.entries.size()) + "}";
}
std::string content(const DictionaryPayload& dictionary) {
  std::string text = "{";
  for (const auto& [key, value] : dictionary.entries) {
    text += (text.size() > 1 ? ", " : "") + standin::content(key.object) + ": " +
            standin::content(value.object);
  }
  return text + "}";
}

const void* make_string(std::u16string units, bool ns) {
  return make_object(StringPayload{std::move(units), ns});
}

CFStringRef make_cfstring(std::string_view utf8) {
  auto units = utf16_from_utf8(utf8);
  return units ? static_cast<CFStringRef>(make_string(std::move(*units), false)) : nullptr;
}

CFStringRef make_cfstring_utf16(std::u16string units) {
  return static_cast<CFStringRef>(make_string(std::move(units), false));
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

}  // namespace system_audio::standin

using namespace system_audio;

// As on macOS, the default allocator is spelled as a null reference.
const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorNull = &standin::null_allocator;
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&standin::true_constant);
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&standin::false_constant);
const CFArrayCallBacks kCFTypeArrayCallBacks{1};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{2};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{3};

namespace {

const void* string_from_bytes(const UInt8* bytes, CFIndex count, CFStringEncoding encoding) {
  if (count < 0 || (bytes == nullptr && count > 0) || encoding != kCFStringEncodingUTF8) {
    return nullptr;
  }
  return standin::make_cfstring(
      std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)));
}

std::string_view byte_text(const UInt8* bytes, CFIndex count) {
  if (bytes == nullptr || count < 0) return {};
  return {reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)};
}

}  // namespace

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean external) {
  if (!standin::call("CFStringCreateWithBytes", byte_text(bytes, numBytes), encoding, external)) {
    return nullptr;
  }
  return static_cast<CFStringRef>(string_from_bytes(bytes, numBytes, encoding));
}

CFStringRef CFStringCreateWithBytesNoCopy(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                          CFStringEncoding encoding, Boolean external,
                                          CFAllocatorRef deallocator) {
  if (!standin::call("CFStringCreateWithBytesNoCopy", byte_text(bytes, numBytes), encoding,
                     external, deallocator == kCFAllocatorNull ? "kCFAllocatorNull" : "free")) {
    return nullptr;
  }
  // Any deallocator but kCFAllocatorNull would free the caller's bytes on the
  // platform: a constant text passed that way is a crash there.
  if (deallocator != kCFAllocatorNull) {
    standin::add_fault("CFStringCreateWithBytesNoCopy with a deallocator");
  }
  return static_cast<CFStringRef>(string_from_bytes(bytes, numBytes, encoding));
}

CFIndex CFStringGetLength(CFStringRef string) {
  standin::call("CFStringGetLength", string);
  const auto* payload = standin::payload_of<standin::StringPayload>(string);
  if (payload == nullptr) {
    standin::add_fault("CFStringGetLength of " + standin::describe(string));
    return 0;
  }
  return static_cast<CFIndex>(payload->units.size());
}

CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean external, UInt8* buffer, CFIndex maxBufLen,
                         CFIndex* usedBufLen) {
  standin::call("CFStringGetBytes", string, range.location, range.length, encoding, lossByte,
                external, maxBufLen);
  if (usedBufLen != nullptr) *usedBufLen = 0;
  const auto* payload = standin::payload_of<standin::StringPayload>(string);
  const auto length = payload ? static_cast<CFIndex>(payload->units.size()) : 0;
  if (payload == nullptr || range.location < 0 || range.length < 0 || range.location > length ||
      range.length > length - range.location) {
    standin::add_fault("CFStringGetBytes out of " + standin::describe(string));
    return 0;
  }
  if (encoding != kCFStringEncodingUTF8) return 0;
  const std::u16string_view units =
      std::u16string_view(payload->units)
          .substr(static_cast<std::size_t>(range.location), static_cast<std::size_t>(range.length));
  const standin::PieceResult piece = standin::utf8_piece(
      units, lossByte, buffer, maxBufLen > 0 ? static_cast<std::size_t>(maxBufLen) : 0);
  if (usedBufLen != nullptr) *usedBufLen = static_cast<CFIndex>(piece.bytes);
  return static_cast<CFIndex>(piece.units);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value) {
  SInt32 number = 0;
  if (type == kCFNumberSInt32Type && value != nullptr) std::memcpy(&number, value, sizeof number);
  if (!standin::call("CFNumberCreate", type, number)) return nullptr;
  if (value == nullptr || type != kCFNumberSInt32Type) {
    standin::add_fault("CFNumberCreate of type " + std::to_string(type));
    return nullptr;
  }
  return static_cast<CFNumberRef>(standin::make_object(standin::NumberPayload{number}));
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks) {
  if (!standin::call("CFArrayCreate", count)) return nullptr;
  auto items = standin::retain_all(values, count, callBacks != nullptr, "CFArrayCreate");
  if (!items) return nullptr;
  return static_cast<CFArrayRef>(
      standin::make_object(standin::ArrayPayload{std::move(*items), false}));
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex count, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  if (!standin::call("CFDictionaryCreate", count)) return nullptr;
  auto kept_keys = standin::retain_all(keys, count, keyCallBacks != nullptr, "CFDictionaryCreate");
  if (!kept_keys) return nullptr;
  auto kept_values =
      standin::retain_all(values, count, valueCallBacks != nullptr, "CFDictionaryCreate");
  if (!kept_values) return nullptr;
  standin::DictionaryPayload dictionary;
  for (std::size_t i = 0; i < kept_keys->size(); ++i) {
    dictionary.entries.emplace_back(std::move((*kept_keys)[i]), std::move((*kept_values)[i]));
  }
  return static_cast<CFDictionaryRef>(standin::make_object(std::move(dictionary)));
}

CFTypeRef CFRetain(CFTypeRef cf) {
  standin::call("CFRetain", cf);
  standin::retain(cf, "CFRetain");
  return cf;
}

void CFRelease(CFTypeRef cf) {
  standin::call("CFRelease", cf);
  standin::release(cf, "CFRelease");
}
