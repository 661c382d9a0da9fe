#pragma once

// The payloads of the CoreFoundation and Foundation objects. A CFString and an
// NSString share one payload, as do CFArray and NSArray (toll-free bridged).

#include <string>
#include <utility>
#include <vector>

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {

struct StringPayload {
  std::u16string units;  // UTF-16, where an unpaired surrogate can stand
  bool ns = false;
};
struct NumberPayload {
  SInt32 value = 0;
};
struct ArrayPayload {
  std::vector<Ref> items;
  bool ns = false;
};
struct DictionaryPayload {
  std::vector<std::pair<Ref, Ref>> entries;  // in creation order
};
struct ErrorPayload {
  Ref description;  // an NSString
};

std::string describe(const StringPayload& string);
std::string content(const StringPayload& string);
std::string describe(const NumberPayload& number);
std::string content(const NumberPayload& number);
std::string describe(const ArrayPayload& array);
std::string content(const ArrayPayload& array);
std::string describe(const DictionaryPayload& dictionary);
std::string content(const DictionaryPayload& dictionary);
std::string describe(const ErrorPayload& error);

const void* make_string(std::u16string units, bool ns);

}  // namespace system_audio::standin
