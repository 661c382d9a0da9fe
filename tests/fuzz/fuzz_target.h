#pragma once

// What every target uses: the fuzzer's input reader (which brings <algorithm>,
// <cstring>, <string> and <vector>), sample comparison and the check.
#include <fuzzer/FuzzedDataProvider.h>
#include <sanitizer/common_interface_defs.h>

#include <bit>
#include <cmath>
#include <memory>
#include <optional>

// Bit for bit, except that where two NaNs meet in arithmetic either payload may come through.
inline bool same_sample(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

// A broken property is a finding: named on the sanitizers' report stream (open
// even when the target's stderr is closed), then an abort, so libFuzzer keeps the input.
[[noreturn]] inline void broken(const char* what) {
  __sanitizer_report_error_summary(what);
  std::abort();
}
#define FUZZ_CHECK(property) ((property) ? void() : broken("property failed: " #property))
