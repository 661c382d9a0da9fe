#pragma once

// The stand-in for the platform's object runtimes on systems without them:
// CoreFoundation, Foundation, libdispatch and blocks, with the platform's
// reference counting. Bindings (the audio server's, the test fake) use this
// header to make the objects they hand out and to read what a backend hands
// them. Like the platform, it trusts its callers: a released object is gone.
//
// Every object is a Record<Payload>: a reference count and a payload whose
// type says how it reads; the payload's destructor drops what it holds.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>

#include "system_audio/apple/core_audio.h"

namespace system_audio::standin {

struct Object {
  const std::type_info* type;
  void (*destroy)(Object*);
  mutable std::atomic<long> references{1};
};

template <class Payload>
struct Record : Object {
  Record(Payload made) : Object{&typeid(Payload), &destroy_record}, value(std::move(made)) {}
  static void destroy_record(Object* object) { delete static_cast<Record*>(object); }
  Payload value;
};

// What a test build installs to see every object made and gone, and every
// call made with the platform's names before it acts (with its object, when
// it is about one). called() returning false makes the call fail (return nil)
// or, for a misused object, do nothing. The product installs none.
class Watch {
 public:
  virtual void made(const Object& object) = 0;
  virtual void gone(const Object& object) = 0;
  virtual bool called(std::string_view function, const void* object) = 0;

 protected:
  ~Watch() = default;
};
inline std::atomic<Watch*> watch{nullptr};

inline bool called(std::string_view function, const void* object = nullptr) {
  Watch* current = watch.load(std::memory_order_acquire);
  return current == nullptr || current->called(function, object);
}

// A new object with one reference.
template <class Payload>
const void* make_object(Payload payload) {
  auto* record = new Record<Payload>(std::move(payload));
  if (Watch* current = watch.load(std::memory_order_acquire)) current->made(*record);
  return static_cast<const Object*>(record);
}

// The payload of an object of that type; nullptr for another type or null.
template <class Payload>
Payload* payload_of(const void* reference) {
  if (reference == nullptr) return nullptr;
  auto* object = const_cast<Object*>(static_cast<const Object*>(reference));
  return *object->type == typeid(Payload) ? &static_cast<Record<Payload>*>(object)->value : nullptr;
}

// One reference more or less, for the runtime and the bindings; the last
// release destroys the object.
void retain(const void* reference);
void release(const void* reference);

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
  ~Ref() {
    if (object != nullptr) release(object);
  }
};

// ---- Strings, containers, errors --------------------------------------------------------

// A new CFString (+1) from UTF-8; nullptr when the UTF-8 is malformed.
CFStringRef make_cfstring(std::string_view utf8);
// UTF-8 of a CFString or NSString (U+FFFD for unpaired surrogates).
std::optional<std::string> text_of(const void* string);
// The value under a string key of a CFDictionary (borrowed), or nullptr.
CFTypeRef dictionary_value(const void* dictionary, std::string_view key);
// An NSError whose localizedDescription is text (+1).
apple::NSError* make_error(std::string_view text);

// ---- Queues ---------------------------------------------------------------------------

struct QueueCore;
struct QueuePayload {
  std::string label;
  std::shared_ptr<QueueCore> core;
  QueuePayload(std::string text, std::shared_ptr<QueueCore> made);
  QueuePayload(QueuePayload&&) = default;
  // The worker runs what is queued, then ends.
  ~QueuePayload();
};

// Runs task on the queue's worker (FIFO, one at a time).
void dispatch_async(dispatch_queue_t queue, std::function<void()> task);
// The queue whose worker is the calling thread, or nullptr.
dispatch_queue_t current_queue();

// ---- Blocks ---------------------------------------------------------------------------

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

// The body of a block factory: BlockType BlockType_create(invoke, context,
// dispose) { return standin::make_block<BlockType>("BlockType", invoke,
// context, dispose); }
template <class Block, class Invoke>
Block make_block(const char* name, Invoke invoke, void* context, apple::BlockDispose dispose) {
  if (Watch* current = watch.load(std::memory_order_acquire);
      current != nullptr && !current->called(std::string(name) + "_create", nullptr)) {
    if (dispose != nullptr) dispose(context);
    return nullptr;
  }
  BlockPayload payload;
  payload.name = name;
  payload.signature = &typeid(Invoke);
  payload.invoke = reinterpret_cast<void (*)()>(invoke);
  payload.context = context;
  payload.dispose = dispose;
  return static_cast<Block>(const_cast<void*>(make_object(std::move(payload))));
}

// Calls a block of that signature as the platform would; false when it is of
// another type. The caller holds a reference for the duration.
template <class Invoke, class Block, class... Arguments>
bool invoke_block(Block block, Arguments&&... arguments) {
  const BlockPayload* payload = payload_of<BlockPayload>(block);
  if (payload == nullptr || *payload->signature != typeid(Invoke)) return false;
  reinterpret_cast<Invoke>(payload->invoke)(payload->context,
                                            std::forward<Arguments>(arguments)...);
  return true;
}

}  // namespace system_audio::standin
