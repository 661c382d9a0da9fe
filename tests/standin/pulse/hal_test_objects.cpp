#include "hal_test_objects.h"

namespace pulse_test {

using system_audio::standin::make_cfstring;

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

namespace {

NSString* ns(const std::string& text) {
  return NSString_alloc_initWithBytes_length_encoding(text.data(), text.size(),
                                                      NSUTF8StringEncoding);
}

}  // namespace

CATapDescription* make_tap_description(const std::string& device_uid, bool mono_mixdown) {
  NSArray* none = NSArray_new();
  NSString* uid = ns(device_uid);
  CATapDescription* tap = CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
      CATapDescription_alloc(), none, uid, 0);
  NSObject_release(uid);
  NSObject_release(none);
  if (tap == nullptr) return nullptr;
  NSString* name = ns("Vantle Computer Audio");
  CATapDescription_setName(tap, name);
  NSObject_release(name);
  CATapDescription_setMixdown(tap, mono_mixdown);
  CATapDescription_setMono(tap, mono_mixdown);
  CATapDescription_setExclusive(tap, true);
  CATapDescription_setPrivate(tap, true);
  CATapDescription_setMuteBehavior(tap, CATapUnmuted);
  return tap;
}

CFDictionaryRef make_aggregate_description(const std::string& uid, const std::string& tap_uid,
                                           const std::string& device_uid) {
  CFStringRef uid_string = make_cfstring(uid);
  CFStringRef tap_string = make_cfstring(tap_uid);
  CFStringRef device_string = make_cfstring(device_uid);
  const SInt32 one_value = 1;
  CFNumberRef one = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one_value);
  CFDictionaryRef sub_device = make_dictionary({{"uid", device_string}});
  CFDictionaryRef sub_tap = make_dictionary({{"uid", tap_string}, {"drift", one}});
  CFArrayRef devices = make_array({sub_device});
  CFArrayRef taps = make_array({sub_tap});
  CFStringRef name = make_cfstring("Vantle Computer Audio");
  CFDictionaryRef description = make_dictionary({{"name", name},
                                                 {"uid", uid_string},
                                                 {"master", device_string},
                                                 {"private", kCFBooleanTrue},
                                                 {"stacked", kCFBooleanFalse},
                                                 {"tapautostart", kCFBooleanTrue},
                                                 {"subdevices", devices},
                                                 {"taps", taps}});
  release_all(
      {name, taps, devices, sub_tap, sub_device, one, device_string, tap_string, uid_string});
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

TapChain::~TapChain() {
  if (aggregate != 0) AudioHardwareDestroyAggregateDevice(aggregate);
  if (tap != 0) AudioHardwareDestroyProcessTap(tap);
  if (description != nullptr) NSObject_release(description);
}

std::unique_ptr<TapChain> make_tap_chain(bool mono_mixdown) {
  auto chain = std::make_unique<TapChain>();
  EXPECT_STATUS(0, read_default_device(&chain->device));
  EXPECT_STATUS(0, read_string(chain->device, kAudioDevicePropertyDeviceUID,
                               kAudioObjectPropertyScopeOutput, &chain->device_uid));
  chain->description = make_tap_description(chain->device_uid, mono_mixdown);
  if (chain->description == nullptr) return nullptr;
  const OSStatus tap_status = AudioHardwareCreateProcessTap(chain->description, &chain->tap);
  EXPECT_STATUS(0, tap_status);
  if (tap_status != 0) return nullptr;
  EXPECT_STATUS(0, read_string(chain->tap, kAudioTapPropertyUID, kAudioObjectPropertyScopeGlobal,
                               &chain->tap_uid));
  CFDictionaryRef description = make_aggregate_description(
      "com.vantle.audio-helper.aggregate." + chain->tap_uid, chain->tap_uid, chain->device_uid);
  const OSStatus aggregate_status =
      AudioHardwareCreateAggregateDevice(description, &chain->aggregate);
  CFRelease(description);
  EXPECT_STATUS(0, aggregate_status);
  return aggregate_status == 0 ? std::move(chain) : nullptr;
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
  if (input == nullptr || input->mNumberBuffers == 0) {
    recorder->shapes.emplace_back(0, 0, 0);
    return;
  }
  const AudioBuffer& buffer = input->mBuffers[0];
  recorder->shapes.emplace_back(input->mNumberBuffers, buffer.mNumberChannels,
                                buffer.mDataByteSize);
  const auto* data = static_cast<const float*>(buffer.mData);
  recorder->samples.insert(recorder->samples.end(), data,
                           data + buffer.mDataByteSize / sizeof(float));
}

}  // namespace pulse_test
