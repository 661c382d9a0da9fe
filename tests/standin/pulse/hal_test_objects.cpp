#include "hal_test_objects.h"

#include <gtest/gtest.h>

#include "system_audio/coreaudio/standin/standin_runtime.h"

namespace pulse_test {

std::string status_text(OSStatus status) {
  const auto code = static_cast<UInt32>(status);
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((code >> shift) & 0xFF);
    if (c < 0x20 || c > 0x7E) return std::to_string(status);
    text.push_back(c);
  }
  return text;
}

CFStringRef make_string(const std::string& text) {
  return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                                 CFIndex(text.size()), kCFStringEncodingUTF8, false);
}

CATapDescription* make_tap_description(const std::string& device_uid, bool mono_mixdown) {
  NSArray* none = NSArray_new();
  NSString* uid = NSString_alloc_initWithBytes_length_encoding(device_uid.data(), device_uid.size(),
                                                               NSUTF8StringEncoding);
  CATapDescription* tap = CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
      CATapDescription_alloc(), none, uid, 0);
  NSObject_release(uid);
  NSObject_release(none);
  if (tap == nullptr) return nullptr;
  const std::string name = "Vantle Computer Audio";
  NSString* ns_name =
      NSString_alloc_initWithBytes_length_encoding(name.data(), name.size(), NSUTF8StringEncoding);
  CATapDescription_setName(tap, ns_name);
  NSObject_release(ns_name);
  CATapDescription_setMixdown(tap, mono_mixdown);
  CATapDescription_setMono(tap, mono_mixdown);
  CATapDescription_setExclusive(tap, true);
  CATapDescription_setPrivate(tap, true);
  CATapDescription_setMuteBehavior(tap, CATapUnmuted);
  return tap;
}

CFArrayRef make_array(const std::vector<CFTypeRef>& items) {
  std::vector<const void*> values(items.begin(), items.end());
  return CFArrayCreate(kCFAllocatorDefault, values.data(), CFIndex(values.size()),
                       &kCFTypeArrayCallBacks);
}

CFDictionaryRef make_dictionary(const std::vector<std::pair<std::string, CFTypeRef>>& entries) {
  std::vector<const void*> keys;
  std::vector<const void*> values;
  for (const auto& [key, value] : entries) {
    keys.push_back(make_string(key));
    values.push_back(value);
  }
  CFDictionaryRef dictionary =
      CFDictionaryCreate(kCFAllocatorDefault, keys.data(), values.data(), CFIndex(keys.size()),
                         &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  for (const void* key : keys) CFRelease(key);
  return dictionary;
}

CFDictionaryRef make_aggregate_description(const std::string& uid, const std::string& tap_uid,
                                           const std::string& device_uid) {
  CFStringRef uid_string = make_string(uid);
  CFStringRef tap_string = make_string(tap_uid);
  CFStringRef device_string = make_string(device_uid);
  SInt32 one_value = 1;
  CFNumberRef one = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &one_value);
  CFDictionaryRef sub_device = make_dictionary({{"uid", device_string}});
  CFDictionaryRef sub_tap = make_dictionary({{"uid", tap_string}, {"drift", one}});
  CFArrayRef devices = make_array({sub_device});
  CFArrayRef taps = make_array({sub_tap});
  CFStringRef name = make_string("Vantle Computer Audio");
  CFDictionaryRef description = make_dictionary({{"name", name},
                                                 {"uid", uid_string},
                                                 {"master", device_string},
                                                 {"private", kCFBooleanTrue},
                                                 {"stacked", kCFBooleanFalse},
                                                 {"tapautostart", kCFBooleanTrue},
                                                 {"subdevices", devices},
                                                 {"taps", taps}});
  for (CFTypeRef object : std::initializer_list<CFTypeRef>{
           name, taps, devices, sub_tap, sub_device, one, device_string, tap_string, uid_string}) {
    CFRelease(object);
  }
  return description;
}

OSStatus read_default_device(AudioObjectID* device) {
  const AudioObjectPropertyAddress address{kAudioHardwarePropertyDefaultOutputDevice,
                                           kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
  UInt32 size = sizeof(*device);
  *device = 0;
  return AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, &size, device);
}

OSStatus read_string(AudioObjectID object, AudioObjectPropertySelector selector,
                     AudioObjectPropertyScope scope, std::string* text) {
  const AudioObjectPropertyAddress address{selector, scope, kAudioObjectPropertyElementMain};
  CFStringRef string = nullptr;
  UInt32 size = sizeof(string);
  const OSStatus status = AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &string);
  if (status != 0) return status;
  *text = system_audio::standin::text_of(string).value_or("<not a string>");
  CFRelease(string);
  return status;
}

OSStatus read_format(AudioObjectID tap, AudioStreamBasicDescription* format, UInt32* size) {
  const AudioObjectPropertyAddress address{kAudioTapPropertyFormat, kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
  *size = sizeof(*format);
  return AudioObjectGetPropertyData(tap, &address, 0, nullptr, size, format);
}

TapChain::~TapChain() {
  if (aggregate != 0) AudioHardwareDestroyAggregateDevice(aggregate);
  if (tap != 0) AudioHardwareDestroyProcessTap(tap);
  if (description != nullptr) NSObject_release(description);
}

std::optional<std::unique_ptr<TapChain>> make_tap_chain(bool mono_mixdown) {
  auto chain = std::make_unique<TapChain>();
  EXPECT_EQ(read_default_device(&chain->device), 0);
  EXPECT_EQ(read_string(chain->device, kAudioDevicePropertyDeviceUID,
                        kAudioObjectPropertyScopeOutput, &chain->device_uid),
            0);
  chain->description = make_tap_description(chain->device_uid, mono_mixdown);
  if (chain->description == nullptr) return std::nullopt;
  const OSStatus tap_status = AudioHardwareCreateProcessTap(chain->description, &chain->tap);
  EXPECT_EQ(status_text(tap_status), status_text(0));
  if (tap_status != 0) return std::nullopt;
  EXPECT_EQ(read_string(chain->tap, kAudioTapPropertyUID, kAudioObjectPropertyScopeGlobal,
                        &chain->tap_uid),
            0);
  CFDictionaryRef description = make_aggregate_description(
      "com.vantle.audio-helper.aggregate." + chain->tap_uid, chain->tap_uid, chain->device_uid);
  const OSStatus aggregate_status =
      AudioHardwareCreateAggregateDevice(description, &chain->aggregate);
  CFRelease(description);
  EXPECT_EQ(status_text(aggregate_status), status_text(0));
  if (aggregate_status != 0) return std::nullopt;
  return chain;
}

std::size_t CycleRecorder::cycle_count() {
  std::lock_guard lock(mutex);
  return cycles;
}

std::vector<float> CycleRecorder::copy_samples() {
  std::lock_guard lock(mutex);
  return samples;
}

void record_cycle(void* context, const AudioTimeStamp*, const AudioBufferList* input,
                  const AudioTimeStamp*, AudioBufferList*, const AudioTimeStamp*) {
  auto* recorder = static_cast<CycleRecorder*>(context);
  const bool on_queue = system_audio::standin::current_queue() == recorder->expected_queue;
  std::lock_guard lock(recorder->mutex);
  ++recorder->cycles;
  if (!on_queue) ++recorder->off_queue_calls;
  if (input == nullptr) return;
  recorder->buffer_counts.push_back(input->mNumberBuffers);
  if (input->mNumberBuffers == 0) return;
  const AudioBuffer& buffer = input->mBuffers[0];
  recorder->channel_counts.push_back(buffer.mNumberChannels);
  recorder->byte_sizes.push_back(buffer.mDataByteSize);
  const auto* data = static_cast<const float*>(buffer.mData);
  recorder->samples.insert(recorder->samples.end(), data,
                           data + buffer.mDataByteSize / sizeof(float));
}

}  // namespace pulse_test
