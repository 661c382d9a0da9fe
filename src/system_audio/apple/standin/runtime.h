#pragma once

// The stand-in for the platform's object runtimes on systems without them:
// CoreFoundation, Foundation, libdispatch and blocks, with the platform's
// ownership rules. Bindings (the audio server, the test fake) use this header to
// make the objects they hand out and to read what a backend hands them.
//
// Every object is a Record<Payload>: a reference count and a payload whose
// type says how it reads. A new object type is a payload struct with a
// describe() overload (and optionally content()), made with make_object. The
// ledger lists live objects, oldest first, and records misuse the sanitizers
// would not see (a release of an object that is not alive, a release by the
// wrong call).

#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

#include "system_audio/apple/core_audio.h"

namespace system_audio::standin {

// ---- Objects --------------------------------------------------------------------------

struct Object {
  const std::type_info* type = nullptr;
  const char* release_call = "CFRelease";            // the call that gives it back
  std::string (*describe)(const Object&) = nullptr;  // short: "CFString \"uid\""
  std::string (*content)(const Object&) = nullptr;   // deep: elements included
  void (*destroy)(Object*) = nullptr;                // deletes the whole record
  long references = 1;                               // guarded by the ledger
  std::uint64_t serial = 0;
};

template <class Payload>
struct Record : Object {
  explicit Record(Payload payload) : value(std::move(payload)) {}
  Payload value;
};

// Payloads without a content() overload read as their description.
template <class Payload>
std::string content_of(const Payload& payload) {
  if constexpr (requires { content(payload); }) {
    return content(payload);
  } else {
    return describe(payload);
  }
}

void adopt(Object* object, const std::type_info& type);
// The CFBoolean constants: never made, never freed, never listed.
bool is_constant(const void* reference);

// A new object with one reference, listed in the ledger. release_call names
// the platform call that gives it back ("CFRelease" also accepts
// NSObject_release: the CF and Foundation objects are toll-free bridged).
template <class Payload>
const void* make_object(Payload payload, const char* release_call = "CFRelease") {
  auto* record = new Record<Payload>(std::move(payload));
  record->release_call = release_call;
  record->describe = [](const Object& o) {
    return describe(static_cast<const Record<Payload>&>(o).value);
  };
  record->content = [](const Object& o) {
    return content_of(static_cast<const Record<Payload>&>(o).value);
  };
  record->destroy = [](Object* o) { delete static_cast<Record<Payload>*>(o); };
  adopt(record, typeid(Payload));
  return static_cast<const Object*>(record);
}

// The payload of a live object of that type; nullptr otherwise. Valid while
// the caller holds a reference.
const Object* live_object(const void* reference);
template <class Payload>
Payload* payload_of(const void* reference) {
  const Object* object = live_object(reference);
  if (object == nullptr || *object->type != typeid(Payload)) return nullptr;
  return &static_cast<Record<Payload>*>(const_cast<Object*>(object))->value;
}

// One more reference; a fault when the object is not alive. call is the
// platform call's name, or "internal" for a reference of the runtime or a
// binding (which any object accepts).
void retain(const void* reference, std::string_view call);
// One reference less; at zero the object is destroyed (its payload's
// destructor drops what it holds). A fault, and nothing else, when the object
// is not alive or call is not its release call.
void release(const void* reference, std::string_view call);

// An owned reference inside a payload (container elements, captured objects).
struct Ref {
  const void* object = nullptr;
  Ref() = default;
  explicit Ref(const void* retained) : object(retained) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    std::swap(object, other.object);
    return *this;
  }
  ~Ref();
};

// "CFString \"uid\"", "NULL", or "dead object" for an address not alive.
std::string describe(const void* reference);
// As describe, with container elements and tap fields spelled out, e.g.
//   {"name": "Vantle", "private": true, "taps": [{"uid": "T", "drift": 1}]}
std::string content(const void* reference);
// A text argument as the call log shows it: quoted, control bytes as \xNN.
std::string quoted(std::string_view bytes);

// ---- Ledger -------------------------------------------------------------------------------

// The description of each live object, oldest first.
std::vector<std::string> live_objects();
std::vector<std::string> faults();
void add_fault(std::string text);
// Forgets live objects (they stay allocated: a queue or leak may still use
// them) and faults.
void reset_ledger();

// ---- The call log -------------------------------------------------------------------------

// Sees every runtime call a backend makes, before it acts, as its platform
// name and argument text; returning false makes a fallible call fail (return
// nullptr / nil). Without a hook nothing is reported and nothing fails.
using CallHook = std::function<bool(std::string_view function, std::string_view arguments)>;
void set_call_hook(CallHook hook);

std::string argument_text(const void* object);
std::string argument_text(const char* text);
std::string argument_text(std::string_view text);
template <std::integral Number>
std::string argument_text(Number value) {
  if constexpr (std::is_same_v<Number, bool>) return value ? "YES" : "NO";
  return std::to_string(value);
}

bool hook_installed();
bool report_call(std::string_view function, const std::string& arguments);

// Reports one call: "CFRelease", object -> "CFString \"uid\"". Arguments are
// formatted only while a hook is installed.
template <class... Arguments>
bool call(std::string_view function, const Arguments&... arguments) {
  if (!hook_installed()) return true;
  std::string text;
  ((text += (text.empty() ? "" : ", ") + argument_text(arguments)), ...);
  return report_call(function, text);
}

// ---- Strings, numbers, containers ---------------------------------------------------------

// A new CFString (+1) from UTF-8 or UTF-16 (unpaired surrogates allowed);
// nullptr when the UTF-8 is malformed. Not reported: the binding's own work.
CFStringRef make_cfstring(std::string_view utf8);
CFStringRef make_cfstring_utf16(std::u16string units);
// UTF-8 of a live CFString or NSString (U+FFFD for unpaired surrogates).
std::optional<std::string> text_of(const void* string);
// The value under a string key of a live CFDictionary (borrowed), or nullptr.
CFTypeRef dictionary_value(const void* dictionary, std::string_view key);
// An NSError whose localizedDescription is text (+1).
apple::NSError* make_error(std::string_view text);

// ---- Queues ---------------------------------------------------------------------------------

// Runs task on a live queue's worker (FIFO, one at a time); a fault for a queue
// not alive.
void dispatch_async(dispatch_queue_t queue, std::function<void()> task);
// The queue whose worker is the calling thread, or nullptr.
dispatch_queue_t current_queue();
std::optional<std::string> queue_label(dispatch_queue_t queue);

// ---- Blocks ---------------------------------------------------------------------------------

struct BlockPayload {
  const char* name = "block";
  const std::type_info* signature = nullptr;
  void (*invoke)() = nullptr;  // the factory's invoke, of type *signature
  void* context = nullptr;
  apple::BlockDispose dispose = nullptr;
  BlockPayload() = default;
  BlockPayload(BlockPayload&& other) noexcept
      : name(other.name),
        signature(other.signature),
        invoke(other.invoke),
        context(other.context),
        dispose(std::exchange(other.dispose, nullptr)) {}
  BlockPayload& operator=(BlockPayload&&) = delete;
  ~BlockPayload() {
    if (dispose != nullptr) dispose(context);
  }
};
std::string describe(const BlockPayload& block);

// The body of a block factory: BlockType BlockType_create(invoke, context,
// dispose) { return standin::make_block<BlockType>("BlockType", invoke,
// context, dispose); }
template <class Block, class Invoke>
Block make_block(const char* name, Invoke invoke, void* context, apple::BlockDispose dispose) {
  if (!call(std::string(name) + "_create")) {
    if (dispose != nullptr) dispose(context);
    return nullptr;
  }
  BlockPayload payload;
  payload.name = name;
  payload.signature = &typeid(Invoke);
  payload.invoke = reinterpret_cast<void (*)()>(invoke);
  payload.context = context;
  payload.dispose = dispose;
  return static_cast<Block>(const_cast<void*>(make_object(std::move(payload), "Block_release")));
}

// Calls a live block of that signature as the platform would; false (and a
// fault) when the block is not alive or of another type. The caller holds a
// reference for the duration.
template <class Invoke, class Block, class... Arguments>
bool invoke_block(Block block, Arguments&&... arguments) {
  const BlockPayload* payload = payload_of<BlockPayload>(block);
  if (payload == nullptr || *payload->signature != typeid(Invoke)) {
    add_fault("call of " + describe(block));
    return false;
  }
  reinterpret_cast<Invoke>(payload->invoke)(payload->context,
                                            std::forward<Arguments>(arguments)...);
  return true;
}

}  // namespace system_audio::standin
