#pragma once

// Small builders over the platform calls, so that the HAL tests read like the
// backend's own sequence: tap descriptions, aggregate descriptions, property
// reads, and an IO block that records every cycle it is given.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "../cf_builders.h"

namespace pulse_test {

using namespace cf_builders;
using namespace std::chrono_literals;

// Four-character status as text ("stop", "!siz"), or the number.
std::string status_text(OSStatus status);
#define EXPECT_STATUS(expected, call) \
  EXPECT_EQ(pulse_test::status_text(call), pulse_test::status_text(expected))

// A CATapDescription of the whole output of the device with that UID.
CATapDescription* make_tap_description(const std::string& device_uid, bool mono_mixdown);
// The backend's aggregate description around one tap on one device.
CFDictionaryRef make_aggregate_description(const std::string& uid, const std::string& tap_uid,
                                           const std::string& device_uid);

OSStatus read_default_device(AudioObjectID* device);
// Reads a string property and releases the string the HAL handed over.
OSStatus read_string(AudioObjectID object, AudioObjectPropertySelector selector,
                     AudioObjectPropertyScope scope, std::string* text);

// The default device, its UID, a tap on it and an aggregate around that tap,
// destroyed in reverse order when the value goes.
struct TapChain {
  AudioObjectID device = 0;
  std::string device_uid;
  CATapDescription* description = nullptr;
  AudioObjectID tap = 0;
  std::string tap_uid;
  AudioObjectID aggregate = 0;

  ~TapChain();
};
// nullptr (with a gtest failure) when a step fails.
std::unique_ptr<TapChain> make_tap_chain(bool mono_mixdown);

// What an IO block saw, cycle by cycle.
struct CycleRecorder {
  std::mutex mutex;
  std::size_t cycles = 0;
  std::vector<float> samples;  // every cycle's first buffer, concatenated
  // Per cycle: buffer count, then the first buffer's channels and byte size.
  std::vector<std::tuple<UInt32, UInt32, UInt32>> shapes;
  std::size_t off_queue_calls = 0;  // calls not on the expected queue
  dispatch_queue_t expected_queue = nullptr;

  std::size_t cycle_count();
  std::vector<float> copy_samples();
};

// The IO block body: records into the CycleRecorder given as context.
void record_cycle(void* context, const AudioTimeStamp*, const AudioBufferList* input,
                  const AudioTimeStamp*, AudioBufferList* output, const AudioTimeStamp*);

// Waits (bounded by limit) until condition holds; false when it never did.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

}  // namespace pulse_test
