#pragma once

// The stand-in for CoreFoundation, Foundation, the tap description, libdispatch
// and the blocks runtime on systems without them. It defines the non-HAL half of
// coreaudio_platform.h with the platform's ownership rules; the HAL half comes
// from a binding (the audio-server stand-in or the scripted test fake), which
// uses this header to read what the backend hands it and to make what it hands
// back.
//
// Every object the runtime makes is recorded in a ledger (kind, reference
// count, short description) so that tests can prove each one was released
// exactly once. A release of an object that is not alive is recorded as a fault
// instead of touching freed memory: freed records stay quarantined until the
// ledger is reset.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system_audio/coreaudio/platform/coreaudio_platform.h"

namespace system_audio::standin {

// ---- Reading objects ------------------------------------------------------------

enum class ObjectKind {
  cf_string,
  cf_number,
  cf_boolean,
  cf_array,
  cf_dictionary,
  ns_array,
  ns_string,
  tap_description,
  dispatch_queue,
  io_block,
};

// "CFString", "NSArray", "dispatch_queue", ...
std::string_view kind_name(ObjectKind kind);

// The kind of a live object (the two CFBoolean constants included); nullopt
// for null, a released object or an address the runtime never made.
std::optional<ObjectKind> kind_of(const void* object);

// Short description as used in call texts and the ledger:
//   CFString "uid"   NSString "uid"   CFNumber 1   CFBoolean true
//   CFArray[1]   CFDictionary{8}   NSArray   CATapDescription
//   dispatch_queue "com.example.audio-tap"   AudioDeviceIOBlock   NULL
// A released object reads "released " followed by what it was; an address the
// runtime never made reads "unknown object".
std::string describe(const void* object);

// UTF-8 text of a live CFString or NSString; an unpaired surrogate becomes
// U+FFFD. nullopt for anything else.
std::optional<std::string> text_of(const void* string);

// A new CFString (+1, the caller owns it) from UTF-8; nullptr when the bytes are
// not UTF-8. Bindings hand UIDs out this way, owned by the caller as on macOS.
// Not reported to the call hook: it is the binding's own work, not a platform
// call of the backend.
platform::CFStringRef make_cfstring(std::string_view utf8);
// A new CFString (+1) from UTF-16 units, unpaired surrogates allowed.
platform::CFStringRef make_cfstring_utf16(std::u16string_view units);

// Entry count of a live CFDictionary; nullopt for anything else.
std::optional<std::size_t> dictionary_count(const void* dictionary);
// The value (borrowed) stored under the string key whose text equals key;
// nullptr when there is none or the object is not a live CFDictionary.
platform::CFTypeRef dictionary_value(const void* dictionary, std::string_view key);
// The text of every string key, in the order the dictionary was created with.
std::vector<std::string> dictionary_keys(const void* dictionary);

// Element count of a live CFArray or NSArray; nullopt for anything else.
std::optional<std::size_t> array_count(const void* array);
// The element (borrowed) at index; nullptr when out of range or not an array.
platform::CFTypeRef array_item(const void* array, std::size_t index);

// Value of a live SInt32 CFNumber; nullopt for anything else.
std::optional<platform::SInt32> number_value(const void* number);
// Value of kCFBooleanTrue / kCFBooleanFalse; nullopt for anything else.
std::optional<bool> boolean_value(const void* boolean);

// CFRetain: one more reference to a live object (a no-op on the CFBoolean
// constants). Returns object. Retaining a released or unknown object records a
// fault. Not reported to the call hook.
const void* retain(const void* object);

// A deep, plain copy of a CF or NS object tree, readable after the objects are
// gone (the fake keeps what the backend passed to the HAL this way).
struct Snapshot {
  struct Entry;

  ObjectKind kind = ObjectKind::cf_string;
  const void* address = nullptr;  // identity of the original object
  std::string text;               // strings: UTF-8 text
  platform::SInt32 number = 0;    // CFNumber
  bool boolean = false;           // CFBoolean
  std::vector<Snapshot> items;    // CFArray, NSArray
  std::vector<Entry> entries;     // CFDictionary, in creation order
  std::string description;        // describe() at the time of the copy

  // The value under a string key; nullptr when there is none.
  const Snapshot* find(std::string_view key) const;
};
struct Snapshot::Entry {
  Snapshot key;
  Snapshot value;
};
// nullopt for null, released or unknown objects.
std::optional<Snapshot> snapshot(const void* object);

// ---- Tap descriptions ---------------------------------------------------------------

struct TapDescriptionFields {
  bool initialised = false;  // init succeeded on it
  std::size_t excluded_processes = 0;
  std::string device_uid;  // text of the UID NSString given to init
  platform::NSInteger stream = 0;
  std::optional<std::string> name;  // nullopt until setName
  bool mixdown = false;
  bool mono = false;
  bool exclusive = false;
  bool is_private = false;
  platform::CATapMuteBehavior mute_behavior = platform::CATapUnmuted;
};

// The fields of a live CATapDescription (the values are copies, as the
// framework's copy properties are); nullopt for anything else.
std::optional<TapDescriptionFields> tap_description_fields(const platform::CATapDescription* tap);

// ---- Dispatch -------------------------------------------------------------------------

// Queues task on a live queue (FIFO, one task at a time on the queue's worker
// thread). A task for a released or unknown queue is dropped and a fault
// recorded.
void dispatch_async(platform::dispatch_queue_t queue, std::function<void()> task);
// dispatch_retain.
platform::dispatch_queue_t retain_queue(platform::dispatch_queue_t queue);
// The label given at creation ("" for a null label); nullopt when not a live queue.
std::optional<std::string> queue_label(platform::dispatch_queue_t queue);
// The queue whose worker is the calling thread, or nullptr.
platform::dispatch_queue_t current_queue();
// Blocks until the queue has no queued and no running task. Returns at once when
// called on the queue's own worker, or for a queue that is not alive.
void wait_until_idle(platform::dispatch_queue_t queue);

// ---- Blocks ---------------------------------------------------------------------------

// Calls a live IO block the way the HAL does: (now, input, input time, output,
// output time). Returns false (and calls nothing) when the block is not alive.
bool invoke_io_block(platform::AudioDeviceIOBlock block, const AudioBufferList* input,
                     AudioBufferList* output = nullptr,
                     const platform::AudioTimeStamp* now = nullptr,
                     const platform::AudioTimeStamp* input_time = nullptr,
                     const platform::AudioTimeStamp* output_time = nullptr);
// Block_copy of a heap block: one more reference.
platform::AudioDeviceIOBlock retain_block(platform::AudioDeviceIOBlock block);

// ---- The ledger -----------------------------------------------------------------------

struct LedgerEntry {
  const void* address = nullptr;
  ObjectKind kind = ObjectKind::cf_string;
  long references = 0;
  std::string description;
};

// Every live object the runtime made since the last reset, oldest first. The
// CFBoolean constants are never listed.
std::vector<LedgerEntry> live_objects();

// Misuse seen since the last reset, oldest first, e.g.
//   "CFRelease of released CFString \"uid\""
//   "CFRelease of unknown object"
//   "dispatch_release of NULL"
std::vector<std::string> faults();

// Forgets every record: quarantined ones are freed; objects still alive stay
// allocated (they may be in use) but are no longer listed. Faults are cleared.
void reset_ledger();

// ---- The call hook --------------------------------------------------------------------

// Called before each runtime platform function acts, with its platform name and
// a short text of its arguments (the runtime's own internal releases, such as a
// container dropping its elements, are not reported). Objects are shown with
// describe(), byte arguments as quoted text, callback tables as kCFType or
// NULL; "(empty text)" below means an empty argument text. For example:
//   CFStringCreateWithBytes        "drift", UTF8
//   CFStringCreateWithBytesNoCopy  "Vantle Computer Audio", UTF8, kCFAllocatorNull
//   CFStringGetLength              CFString "uid"
//   CFStringGetBytes               CFString "uid", {0, 3}, UTF8, 0, 32
//   CFNumberCreate                 SInt32 1
//   CFArrayCreate                  [CFDictionary{1}], kCFType
//   CFDictionaryCreate             {CFString "uid": CFString "dev"}, kCFType, kCFType
//   CFRelease                      CFString "uid"
//   NSArray_new                    (empty text)
//   NSString_alloc_initWithBytes_length_encoding   "dev", UTF8
//   NSObject_release               NSArray
//   CATapDescription_alloc         (empty text)
//   CATapDescription_initExcludingProcesses_andDeviceUID_withStream
//                                  CATapDescription, NSArray, NSString "dev", 0
//   CATapDescription_setName       CATapDescription, NSString "Vantle Computer Audio"
//   CATapDescription_setMixdown    CATapDescription, YES
//   CATapDescription_setMuteBehavior  CATapDescription, 0
//   dispatch_queue_create          "com.example.audio-tap", DISPATCH_QUEUE_SERIAL
//   dispatch_release               dispatch_queue "com.example.audio-tap"
//   AudioDeviceIOBlock_create      (empty text)
//   Block_release                  AudioDeviceIOBlock
// Returning false makes a fallible call fail (return nullptr / nil):
// CFStringCreateWithBytes, CFStringCreateWithBytesNoCopy, CFNumberCreate,
// CFArrayCreate, CFDictionaryCreate, NSArray_new, the NSString initialiser,
// CATapDescription_alloc, its initialiser (which then releases the allocated
// object), dispatch_queue_create and AudioDeviceIOBlock_create. For the other
// functions the result is ignored. The hook may run on any thread, never with a
// runtime lock held, and may call the readers of this header.
using CallHook = std::function<bool(std::string_view function, std::string_view arguments)>;

// Installs hook (an empty one removes it). Without a hook nothing is reported
// and nothing fails: the behaviour the real helper gets.
void set_call_hook(CallHook hook);

}  // namespace system_audio::standin
