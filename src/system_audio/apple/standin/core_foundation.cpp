// CoreFoundation and Foundation: strings, numbers, booleans, arrays,
// dictionaries and errors, one set of objects for both (toll-free bridged).

#include <climits>
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

// The booleans are objects that are never made and never go.
Record<BooleanPayload> true_record(BooleanPayload{true});
Record<BooleanPayload> false_record(BooleanPayload{false});
CFBooleanRef immortal(Record<BooleanPayload>& record) {
  record.references = LONG_MAX / 2;
  return reinterpret_cast<CFBooleanRef>(static_cast<const Object*>(&record));
}

std::optional<std::vector<Ref>> retain_all(const void** values, CFIndex count) {
  if (count < 0 || (values == nullptr && count > 0)) return std::nullopt;
  std::vector<Ref> kept;
  for (CFIndex i = 0; i < count; ++i) {
    retain(values[i]);
    kept.emplace_back(values[i]);
  }
  return kept;
}

const void* string_from_bytes(const UInt8* bytes, CFIndex count, CFStringEncoding encoding) {
  if (count < 0 || (bytes == nullptr && count > 0) || encoding != kCFStringEncodingUTF8) {
    return nullptr;
  }
  return make_cfstring(
      std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)));
}

}  // namespace
}  // namespace system_audio::standin

using namespace system_audio;
using standin::called;

// As on macOS, the default allocator is spelled as a null reference.
const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorNull = &standin::null_allocator;
const CFBooleanRef kCFBooleanTrue = standin::immortal(standin::true_record);
const CFBooleanRef kCFBooleanFalse = standin::immortal(standin::false_record);
const CFArrayCallBacks kCFTypeArrayCallBacks{1};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{2};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{3};

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean) {
  if (!called("CFStringCreateWithBytes")) return nullptr;
  return static_cast<CFStringRef>(standin::string_from_bytes(bytes, numBytes, encoding));
}

CFStringRef CFStringCreateWithBytesNoCopy(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                          CFStringEncoding encoding, Boolean, CFAllocatorRef) {
  if (!called("CFStringCreateWithBytesNoCopy")) return nullptr;
  return static_cast<CFStringRef>(standin::string_from_bytes(bytes, numBytes, encoding));
}

CFIndex CFStringGetLength(CFStringRef string) {
  if (!called("CFStringGetLength", string)) return 0;
  const auto* payload = standin::payload_of<standin::StringPayload>(string);
  return payload ? static_cast<CFIndex>(payload->units.size()) : 0;
}

CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean, UInt8* buffer, CFIndex maxBufLen,
                         CFIndex* usedBufLen) {
  if (usedBufLen != nullptr) *usedBufLen = 0;
  if (!called("CFStringGetBytes", string)) return 0;
  const auto* payload = standin::payload_of<standin::StringPayload>(string);
  const auto length = payload ? static_cast<CFIndex>(payload->units.size()) : 0;
  if (payload == nullptr || range.location < 0 || range.length < 0 || range.location > length ||
      range.length > length - range.location || encoding != kCFStringEncodingUTF8) {
    return 0;
  }
  const std::u16string_view units =
      std::u16string_view(payload->units)
          .substr(static_cast<std::size_t>(range.location), static_cast<std::size_t>(range.length));
  const standin::PieceResult piece = standin::utf8_piece(
      units, lossByte, buffer, maxBufLen > 0 ? static_cast<std::size_t>(maxBufLen) : 0);
  if (usedBufLen != nullptr) *usedBufLen = static_cast<CFIndex>(piece.bytes);
  return static_cast<CFIndex>(piece.units);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value) {
  if (!called("CFNumberCreate") || value == nullptr || type != kCFNumberSInt32Type) return nullptr;
  SInt32 number = 0;
  std::memcpy(&number, value, sizeof number);
  return static_cast<CFNumberRef>(standin::make_object(standin::NumberPayload{number}));
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count,
                         const CFArrayCallBacks*) {
  if (!called("CFArrayCreate")) return nullptr;
  auto items = standin::retain_all(values, count);
  if (!items) return nullptr;
  return static_cast<CFArrayRef>(
      standin::make_object(standin::ArrayPayload{std::move(*items), false}));
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex count, const CFDictionaryKeyCallBacks*,
                                   const CFDictionaryValueCallBacks*) {
  if (!called("CFDictionaryCreate")) return nullptr;
  auto kept_keys = standin::retain_all(keys, count);
  auto kept_values = standin::retain_all(values, count);
  if (!kept_keys || !kept_values) return nullptr;
  standin::DictionaryPayload dictionary;
  for (std::size_t i = 0; i < kept_keys->size(); ++i) {
    dictionary.entries.emplace_back(std::move((*kept_keys)[i]), std::move((*kept_values)[i]));
  }
  return static_cast<CFDictionaryRef>(standin::make_object(std::move(dictionary)));
}

CFTypeRef CFRetain(CFTypeRef cf) {
  if (called("CFRetain", cf)) standin::retain(cf);
  return cf;
}

void CFRelease(CFTypeRef cf) {
  if (called("CFRelease", cf)) standin::release(cf);
}

namespace system_audio::apple {

NSArray* NSArray_new() {
  if (!called("NSArray_new")) return nullptr;
  return static_cast<NSArray*>(
      const_cast<void*>(standin::make_object(standin::ArrayPayload{{}, true})));
}

NSString* NSString_alloc_initWithBytes_length_encoding(const void* bytes, NSUInteger length,
                                                       NSStringEncoding encoding) {
  if (!called("NSString_alloc_initWithBytes_length_encoding")) return nullptr;
  if ((bytes == nullptr && length > 0) || encoding != NSUTF8StringEncoding) return nullptr;
  auto units = standin::utf16_from_utf8(
      bytes == nullptr ? std::string_view()
                       : std::string_view(static_cast<const char*>(bytes), length));
  if (!units) return nullptr;
  return static_cast<NSString*>(const_cast<void*>(standin::make_string(std::move(*units), true)));
}

NSString* NSError_localizedDescription(NSError* error) {
  if (!called("NSError_localizedDescription", error)) return nullptr;
  const auto* payload = standin::payload_of<standin::ErrorPayload>(error);
  return payload ? static_cast<NSString*>(const_cast<void*>(payload->description.object)) : nullptr;
}

// A message to nil does nothing.
void NSObject_retain(const void* object) {
  if (object != nullptr && called("NSObject_retain", object)) standin::retain(object);
}

void NSObject_release(const void* object) {
  if (object != nullptr && called("NSObject_release", object)) standin::release(object);
}

}  // namespace system_audio::apple
