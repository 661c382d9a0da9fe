#include "system_audio/coreaudio/aggregate_device.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "system_audio/apple/cf_text.h"
#include "system_audio/coreaudio/device_name.h"
#include "system_audio/coreaudio/hal_properties.h"
#include "system_audio/identifier.h"

namespace system_audio {

using namespace apple;

namespace {

// Strict UTF-8: no overlong forms, no surrogate code points, nothing past U+10FFFF.
bool is_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length;
    char32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000)) return false;
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

// A dictionary key from a NUL-terminated literal, owned by the caller.
Result<CfRef<CFStringRef>> cf_key(const char* key) {
  const std::string_view bytes(key, std::strlen(key));
  if (!is_utf8(bytes)) return fail("CoreAudio dictionary key was not UTF-8");
  CfRef<CFStringRef> string(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                              CFIndex(bytes.size()), kCFStringEncodingUTF8, false));
  if (!string) return fail("CoreAudio could not create the dictionary key " + std::string(bytes));
  return string;
}

template <std::size_t N>
CfRef<CFDictionaryRef> make_dictionary(const std::array<CFTypeRef, N>& keys,
                                       const std::array<CFTypeRef, N>& values) {
  // CoreFoundation takes non-const arrays of pointers but only reads them.
  auto key_array = keys;
  auto value_array = values;
  return CfRef<CFDictionaryRef>(
      CFDictionaryCreate(kCFAllocatorDefault, key_array.data(), value_array.data(), CFIndex(N),
                         &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

CfRef<CFArrayRef> make_one_element_array(CFTypeRef element) {
  const void* values[] = {element};
  return CfRef<CFArrayRef>(CFArrayCreate(kCFAllocatorDefault, values, 1, &kCFTypeArrayCallBacks));
}

CfRef<CFStringRef> make_string(std::string_view text) {
  return CfRef<CFStringRef>(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                              CFIndex(text.size()), kCFStringEncodingUTF8, false));
}

}  // namespace

Result<CfRef<CFDictionaryRef>> aggregate_device_description(AudioObjectID tap, CFStringRef uid) {
  auto tap_uid = read_tap_uid(tap);
  if (!tap_uid) return fail(std::move(tap_uid.error()));
  std::string tap_text = cfstring_to_text(tap_uid->get());

  // The name is a constant with static storage, so the string may borrow it.
  CfRef<CFStringRef> name(CFStringCreateWithBytesNoCopy(
      kCFAllocatorDefault, reinterpret_cast<const UInt8*>(DEVICE_NAME.data()),
      CFIndex(DEVICE_NAME.size()), kCFStringEncodingUTF8, false, kCFAllocatorNull));
  if (!name) return fail("CoreAudio could not create the aggregate device name");

  CfRef<CFStringRef> aggregate_uid;
  {
    std::string joined(IDENTIFIER_PREFIX);
    joined += ".aggregate.";
    joined += tap_text;
    aggregate_uid = make_string(joined);
  }
  if (!aggregate_uid) return fail("CoreAudio could not create the aggregate device UID");

  const CFBooleanRef yes = kCFBooleanTrue;
  const CFBooleanRef no = kCFBooleanFalse;
  const SInt32 drift_on = 1;
  CfRef<CFNumberRef> one(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &drift_on));
  if (!one) return fail("CoreAudio could not create the tap drift setting");

  auto sub_device_uid_key = cf_key("uid");
  if (!sub_device_uid_key) return fail(std::move(sub_device_uid_key.error()));
  CfRef<CFArrayRef> sub_devices;
  {
    auto sub_device = make_dictionary<1>({sub_device_uid_key->get()}, {uid});
    if (!sub_device) return fail("CoreAudio could not create the sub-device entry");
    sub_devices = make_one_element_array(sub_device.get());
    if (!sub_devices) return fail("CoreAudio could not create the sub-device list");
  }

  auto sub_tap_uid_key = cf_key("uid");
  if (!sub_tap_uid_key) return fail(std::move(sub_tap_uid_key.error()));
  auto sub_tap_drift_key = cf_key("drift");
  if (!sub_tap_drift_key) return fail(std::move(sub_tap_drift_key.error()));
  CfRef<CFArrayRef> sub_taps;
  {
    auto sub_tap = make_dictionary<2>({sub_tap_uid_key->get(), sub_tap_drift_key->get()},
                                      {tap_uid->get(), one.get()});
    if (!sub_tap) return fail("CoreAudio could not create the sub-tap entry");
    sub_taps = make_one_element_array(sub_tap.get());
    if (!sub_taps) return fail("CoreAudio could not create the sub-tap list");
  }

  constexpr std::array<const char*, 8> key_names = {
      "name", "uid", "master", "private", "stacked", "tapautostart", "subdevices", "taps"};
  std::array<CfRef<CFStringRef>, 8> keys;  // array elements go last-made first
  for (std::size_t i = 0; i < key_names.size(); ++i) {
    auto key = cf_key(key_names[i]);
    if (!key) return fail(std::move(key.error()));
    keys[i] = std::move(*key);
  }
  auto description = make_dictionary<8>(
      {keys[0].get(), keys[1].get(), keys[2].get(), keys[3].get(), keys[4].get(), keys[5].get(),
       keys[6].get(), keys[7].get()},
      {name.get(), aggregate_uid.get(), uid, yes, no, yes, sub_devices.get(), sub_taps.get()});
  if (!description) return fail("CoreAudio could not create the aggregate device description");
  return description;
}

}  // namespace system_audio
