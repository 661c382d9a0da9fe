// CoreFoundation strings, numbers, arrays, dictionaries and CFRelease.

#include <cstring>
#include <memory>
#include <string>

#include "system_audio/coreaudio/standin/object_registry.h"
#include "system_audio/coreaudio/standin/utf16_text.h"

namespace system_audio::platform {
namespace {

using standin::ObjectKind;
using standin::detail::Object;
using standin::detail::Registry;

std::string bytes_text(const UInt8* bytes, CFIndex count) {
  if (bytes == nullptr) return "NULL";
  if (count < 0) return "<negative length>";
  return standin::detail::quoted(
      std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)));
}

std::string allocator_text(CFAllocatorRef allocator) {
  if (allocator == kCFAllocatorNull) return "kCFAllocatorNull";
  if (allocator == kCFAllocatorDefault) return "kCFAllocatorDefault";
  return "allocator";
}

const void* string_from_utf8(const UInt8* bytes, CFIndex count, CFStringEncoding encoding,
                             Boolean external) {
  if (count < 0 || (bytes == nullptr && count > 0)) return nullptr;
  if (encoding != kCFStringEncodingUTF8) return nullptr;
  auto units = standin::utf16_from_utf8(
      std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)));
  if (!units) return nullptr;
  // An external representation may carry a byte order mark; it is not content.
  if (external && !units->empty() && units->front() == u'\uFEFF') units->erase(0, 1);
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::cf_string;
  object->units = std::move(*units);
  return Registry::instance().adopt(std::move(object));
}

// Retains every value of a container made with the kCFType callbacks. A value
// that is not a live object would crash the platform later; the create fails
// instead and the fault is recorded.
bool retain_all(Registry& registry, const std::vector<const void*>& values, const char* call) {
  std::lock_guard lock(registry.mutex());
  for (const void* value : values) {
    if (registry.live_locked(value) == nullptr) {
      registry.fault_locked(std::string(call) + " with element " +
                            standin::detail::describe_locked(registry, value));
      return false;
    }
  }
  for (const void* value : values) {
    Object* object = registry.live_locked(value);
    if (!object->immortal) ++object->references;
  }
  return true;
}

bool same_key(Registry& registry, const void* a, const void* b) {
  if (a == b) return true;
  const Object* left = registry.live_locked(a);
  const Object* right = registry.live_locked(b);
  return left != nullptr && right != nullptr && left->kind == ObjectKind::cf_string &&
         right->kind == ObjectKind::cf_string && left->units == right->units;
}

}  // namespace

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
  if (!standin::detail::call_allowed("CFStringCreateWithBytes", [&] {
        return bytes_text(bytes, numBytes) + ", " + standin::detail::encoding_text(encoding) +
               (isExternalRepresentation ? ", external" : "");
      })) {
    return nullptr;
  }
  return static_cast<CFStringRef>(
      string_from_utf8(bytes, numBytes, encoding, isExternalRepresentation));
}

CFStringRef CFStringCreateWithBytesNoCopy(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                          CFStringEncoding encoding,
                                          Boolean isExternalRepresentation,
                                          CFAllocatorRef contentsDeallocator) {
  if (!standin::detail::call_allowed("CFStringCreateWithBytesNoCopy", [&] {
        return bytes_text(bytes, numBytes) + ", " + standin::detail::encoding_text(encoding) +
               (isExternalRepresentation ? ", external" : "") + ", " +
               allocator_text(contentsDeallocator);
      })) {
    return nullptr;
  }
  // The bytes are copied, so the caller's buffer is never freed. Any
  // deallocator but kCFAllocatorNull would free it on the platform: a constant
  // text passed that way is a crash there, so it is recorded here.
  if (contentsDeallocator != kCFAllocatorNull) {
    Registry::instance().fault("CFStringCreateWithBytesNoCopy with deallocator " +
                               allocator_text(contentsDeallocator));
  }
  return static_cast<CFStringRef>(
      string_from_utf8(bytes, numBytes, encoding, isExternalRepresentation));
}

CFIndex CFStringGetLength(CFStringRef theString) {
  standin::detail::call_allowed("CFStringGetLength", [&] { return standin::describe(theString); });
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = registry.live_locked(theString);
  if (object == nullptr || object->kind != ObjectKind::cf_string) {
    registry.fault_locked("CFStringGetLength of " +
                          standin::detail::describe_locked(registry, theString));
    return 0;
  }
  return static_cast<CFIndex>(object->units.size());
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen) {
  standin::detail::call_allowed("CFStringGetBytes", [&] {
    return standin::describe(theString) + ", {" + std::to_string(range.location) + ", " +
           std::to_string(range.length) + "}, " + standin::detail::encoding_text(encoding) + ", " +
           std::to_string(lossByte) + (isExternalRepresentation ? ", external" : "") + ", " +
           std::to_string(maxBufLen);
  });
  if (usedBufLen != nullptr) *usedBufLen = 0;
  std::u16string units;
  {
    Registry& registry = Registry::instance();
    std::lock_guard lock(registry.mutex());
    const Object* object = registry.live_locked(theString);
    if (object == nullptr || object->kind != ObjectKind::cf_string) {
      registry.fault_locked("CFStringGetBytes of " +
                            standin::detail::describe_locked(registry, theString));
      return 0;
    }
    const auto length = static_cast<CFIndex>(object->units.size());
    if (range.location < 0 || range.length < 0 || range.location > length ||
        range.length > length - range.location) {
      registry.fault_locked("CFStringGetBytes range out of bounds");
      return 0;
    }
    units = object->units.substr(static_cast<std::size_t>(range.location),
                                 static_cast<std::size_t>(range.length));
  }
  if (encoding != kCFStringEncodingUTF8) return 0;
  const std::size_t capacity = maxBufLen > 0 ? static_cast<std::size_t>(maxBufLen) : 0;
  const standin::PieceResult piece = standin::utf8_piece(units, lossByte, buffer, capacity);
  if (usedBufLen != nullptr) *usedBufLen = static_cast<CFIndex>(piece.bytes);
  return static_cast<CFIndex>(piece.units);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  SInt32 value = 0;
  if (theType == kCFNumberSInt32Type && valuePtr != nullptr) {
    std::memcpy(&value, valuePtr, sizeof value);
  }
  if (!standin::detail::call_allowed("CFNumberCreate", [&] {
        if (theType != kCFNumberSInt32Type) return "type " + std::to_string(theType);
        return valuePtr == nullptr ? std::string("SInt32 NULL") : "SInt32 " + std::to_string(value);
      })) {
    return nullptr;
  }
  if (valuePtr == nullptr) return nullptr;
  if (theType != kCFNumberSInt32Type) {
    Registry::instance().fault("CFNumberCreate of unsupported type " + std::to_string(theType));
    return nullptr;
  }
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::cf_number;
  object->number = value;
  return static_cast<CFNumberRef>(Registry::instance().adopt(std::move(object)));
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  if (!standin::detail::call_allowed("CFArrayCreate", [&] {
        std::string text = "[";
        for (CFIndex i = 0; values != nullptr && i < numValues; ++i) {
          if (i > 0) text += ", ";
          text += standin::describe(values[i]);
        }
        return text + "], " + (callBacks != nullptr ? "kCFType" : "NULL");
      })) {
    return nullptr;
  }
  if (numValues < 0 || (values == nullptr && numValues > 0)) return nullptr;
  Registry& registry = Registry::instance();
  std::vector<const void*> items(values, values + numValues);
  if (callBacks != nullptr && !retain_all(registry, items, "CFArrayCreate")) return nullptr;
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::cf_array;
  object->items = std::move(items);
  object->retains_values = callBacks != nullptr;
  return static_cast<CFArrayRef>(registry.adopt(std::move(object)));
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  if (!standin::detail::call_allowed("CFDictionaryCreate", [&] {
        std::string text = "{";
        for (CFIndex i = 0; keys != nullptr && values != nullptr && i < numValues; ++i) {
          if (i > 0) text += ", ";
          text += standin::describe(keys[i]) + ": " + standin::describe(values[i]);
        }
        return text + "}, " + (keyCallBacks != nullptr ? "kCFType" : "NULL") + ", " +
               (valueCallBacks != nullptr ? "kCFType" : "NULL");
      })) {
    return nullptr;
  }
  if (numValues < 0 || ((keys == nullptr || values == nullptr) && numValues > 0)) {
    return nullptr;
  }
  Registry& registry = Registry::instance();
  std::vector<std::pair<const void*, const void*>> entries;
  {
    // A key equal to an earlier one replaces that entry's value, as a set would.
    std::lock_guard lock(registry.mutex());
    for (CFIndex i = 0; i < numValues; ++i) {
      bool replaced = false;
      for (auto& entry : entries) {
        if (same_key(registry, entry.first, keys[i])) {
          entry.second = values[i];
          replaced = true;
          break;
        }
      }
      if (!replaced) entries.emplace_back(keys[i], values[i]);
    }
  }
  std::vector<const void*> kept_keys;
  std::vector<const void*> kept_values;
  for (const auto& [key, value] : entries) {
    kept_keys.push_back(key);
    kept_values.push_back(value);
  }
  if (keyCallBacks != nullptr && !retain_all(registry, kept_keys, "CFDictionaryCreate")) {
    return nullptr;
  }
  if (valueCallBacks != nullptr && !retain_all(registry, kept_values, "CFDictionaryCreate")) {
    for (const void* key : kept_keys) registry.release(key, standin::detail::ReleaseCall::internal);
    return nullptr;
  }
  auto object = std::make_unique<Object>();
  object->kind = ObjectKind::cf_dictionary;
  object->entries = std::move(entries);
  object->retains_keys = keyCallBacks != nullptr;
  object->retains_values = valueCallBacks != nullptr;
  return static_cast<CFDictionaryRef>(registry.adopt(std::move(object)));
}

void CFRelease(CFTypeRef cf) {
  standin::detail::call_allowed("CFRelease", [&] { return standin::describe(cf); });
  Registry::instance().release(cf, standin::detail::ReleaseCall::cf_release);
}

}  // namespace system_audio::platform
