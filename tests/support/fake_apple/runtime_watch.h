#pragma once

// The stand-in runtime as the tests see it: every object made and gone, every
// call, and a call about an object that is gone, which the platform would not
// forgive: the watch records it and fails the call instead of letting it act.
// (A release by the wrong kind of call shows in the call log the tests read.)

#include <string>
#include <string_view>
#include <vector>

namespace system_audio::fake {

// From now on, for the life of the program.
void watch_runtime();
// The objects alive, described, in text order; every misuse so far.
std::vector<std::string> live_objects();
std::vector<std::string> faults();
void add_fault(std::string text);
// Forgets both (what is alive stays allocated: a queue may still use it).
void forget_objects();
// The fake's answer to each call, as "Function(object)", before it acts:
// false fails it (fake_apple.cpp).
bool answer_call(std::string_view function, const std::string& line);

// "CFString \"uid\"", "NSArray[0]", "NULL"; content() spells out containers and fields.
std::string describe(const void* object);
std::string content(const void* object);

}  // namespace system_audio::fake
