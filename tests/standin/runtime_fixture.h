#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system_audio/coreaudio/platform/coreaudio_platform.h"
#include "system_audio/coreaudio/standin/standin_runtime.h"

namespace system_audio::standin {

// Each test starts with an empty ledger and no hook.
class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set_call_hook({});
    reset_ledger();
  }
  void TearDown() override { set_call_hook({}); }

  // "CFString \"uid\" x2": what is alive, with its reference count.
  static std::vector<std::string> alive() {
    std::vector<std::string> found;
    for (const auto& entry : live_objects()) {
      found.push_back(entry.description + " x" + std::to_string(entry.references));
    }
    return found;
  }

  static platform::CFStringRef cf(std::string_view text) {
    return platform::CFStringCreateWithBytes(
        platform::kCFAllocatorDefault, reinterpret_cast<const platform::UInt8*>(text.data()),
        static_cast<platform::CFIndex>(text.size()), platform::kCFStringEncodingUTF8, false);
  }
};

}  // namespace system_audio::standin
