#include "runtime_watch.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "system_audio/apple/standin/objects.h"
#include "system_audio/apple/standin/screen_capture.h"
#include "system_audio/apple/standin/utf16_text.h"

namespace system_audio::fake {
namespace {

using namespace standin;
using Hook = CallHook;

std::string quoted(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

const char* yes_no(bool value) {
  return value ? "YES" : "NO";
}

// The family of calls that retain and release an object of this kind.
enum class Kind { cf, ns, block, queue };
Kind kind_of(const void* object) {
  if (payload_of<BlockPayload>(object)) return Kind::block;
  if (payload_of<QueuePayload>(object)) return Kind::queue;
  if (payload_of<TapFields>(object) || payload_of<DisplayPayload>(object) ||
      payload_of<ContentPayload>(object) || payload_of<FilterPayload>(object) ||
      payload_of<ConfigurationPayload>(object) || payload_of<StreamPayload>(object) ||
      payload_of<OutputPayload>(object)) {
    return Kind::ns;
  }
  return Kind::cf;
}

// Whether a retain or release call suits the object; true for other calls.
bool suits(std::string_view function, const void* object) {
  const Kind kind = kind_of(object);
  if (function.starts_with("Block_")) return kind == Kind::block;
  if (function.starts_with("dispatch_")) return kind == Kind::queue;
  if (function.starts_with("CFRe")) return kind == Kind::cf;
  if (function.starts_with("NSObject_")) return kind == Kind::cf || kind == Kind::ns;
  return true;
}

struct Ledger final : Watch {
  std::mutex mutex;
  std::map<const void*, std::uint64_t> live;
  std::uint64_t next_serial = 1;
  std::vector<std::string> faults;
  std::shared_ptr<const Hook> hook;

  void made(const Object& object) override {
    std::lock_guard lock(mutex);
    live[&object] = next_serial++;
  }
  void gone(const Object& object) override {
    std::lock_guard lock(mutex);
    live.erase(&object);
  }
  bool alive(const void* object) {
    std::lock_guard lock(mutex);
    return object == kCFBooleanTrue || object == kCFBooleanFalse || live.contains(object);
  }
  bool called(std::string_view function, const void* object) override {
    if (object != nullptr && (!alive(object) || !suits(function, object))) {
      add(std::string(function) + " of " + (alive(object) ? describe(object) : "dead object"));
      return false;
    }
    std::shared_ptr<const Hook> current;
    {
      std::lock_guard lock(mutex);
      current = hook;
    }
    const std::string line =
        std::string(function) + "(" + (object ? describe(object) : std::string()) + ")";
    return !current || (*current)(function, object, line);
  }
  void add(std::string fault) {
    std::lock_guard lock(mutex);
    faults.push_back(std::move(fault));
  }
};

Ledger& ledger() {
  // Never destroyed: queue workers may still release objects while main exits.
  static Ledger* const instance = new Ledger();
  return *instance;
}

std::string describe_string(const StringPayload& string) {
  return (string.ns ? "NSString " : "CFString ") + quoted(utf8_from_utf16(string.units));
}

std::string listed(const std::vector<std::string>& parts, char open, char close) {
  std::string text(1, open);
  for (const auto& part : parts) text += (text.size() > 1 ? ", " : "") + part;
  return text + close;
}

}  // namespace

void watch_runtime() {
  standin::watch = &ledger();
}

std::vector<std::string> live_objects() {
  std::map<std::uint64_t, const void*> by_age;
  {
    std::lock_guard lock(ledger().mutex);
    for (const auto& [object, serial] : ledger().live) by_age[serial] = object;
  }
  std::vector<std::string> listed;
  for (const auto& [serial, object] : by_age) listed.push_back(describe(object));
  return listed;
}

std::vector<std::string> faults() {
  std::lock_guard lock(ledger().mutex);
  return ledger().faults;
}

void add_fault(std::string text) {
  ledger().add(std::move(text));
}

void forget_objects() {
  std::lock_guard lock(ledger().mutex);
  ledger().live.clear();
  ledger().faults.clear();
}

void set_call_hook(Hook hook) {
  std::lock_guard lock(ledger().mutex);
  ledger().hook = hook ? std::make_shared<const Hook>(std::move(hook)) : nullptr;
}

std::string describe(const void* o) {
  if (o == nullptr) return "NULL";
  if (o == kCFBooleanTrue || o == kCFBooleanFalse) return o == kCFBooleanTrue ? "true" : "false";
  if (const auto* s = payload_of<StringPayload>(o)) return describe_string(*s);
  if (const auto* n = payload_of<NumberPayload>(o)) return "CFNumber " + std::to_string(n->value);
  if (const auto* a = payload_of<ArrayPayload>(o)) {
    return (a->ns ? "NSArray[" : "CFArray[") + std::to_string(a->items.size()) + "]";
  }
  if (const auto* d = payload_of<DictionaryPayload>(o)) {
    return "CFDictionary{" + std::to_string(d->entries.size()) + "}";
  }
  if (const auto* e = payload_of<ErrorPayload>(o)) {
    return "NSError " + quoted(text_of(e->description.object).value_or(""));
  }
  if (payload_of<TapFields>(o)) return "CATapDescription";
  if (const auto* b = payload_of<BlockPayload>(o)) return b->name;
  if (const auto* q = payload_of<QueuePayload>(o)) return "dispatch_queue " + quoted(q->label);
  if (const auto* d = payload_of<DisplayPayload>(o))
    return "SCDisplay " + std::to_string(d->facts.id);
  if (payload_of<ContentPayload>(o)) return "SCShareableContent";
  if (const auto* f = payload_of<FilterPayload>(o)) {
    return f->initialised ? "SCContentFilter" : "SCContentFilter (alloc)";
  }
  if (payload_of<ConfigurationPayload>(o)) return "SCStreamConfiguration";
  if (const auto* s = payload_of<StreamPayload>(o)) {
    return s->filter.object ? "SCStream" : "SCStream (alloc)";
  }
  if (payload_of<OutputPayload>(o)) return "VantleSckAudioOutput";
  return "CoreMedia object";
}

std::string content(const void* o) {
  if (const auto* s = payload_of<StringPayload>(o)) return quoted(utf8_from_utf16(s->units));
  if (const auto* n = payload_of<NumberPayload>(o)) return std::to_string(n->value);
  if (const auto* a = payload_of<ArrayPayload>(o)) {
    std::vector<std::string> items;
    for (const Ref& item : a->items) items.push_back(content(item.object));
    return listed(items, '[', ']');
  }
  if (const auto* d = payload_of<DictionaryPayload>(o)) {
    std::vector<std::string> entries;
    for (const auto& [key, value] : d->entries) {
      entries.push_back(content(key.object) + ": " + content(value.object));
    }
    return listed(entries, '{', '}');
  }
  if (const auto* t = payload_of<TapFields>(o)) {
    if (!t->initialised) return "CATapDescription (uninitialised)";
    return "CATapDescription{excluding " + std::to_string(t->excluded_processes) + ", device " +
           quoted(t->device_uid) + ", stream " + std::to_string(t->stream) + ", name " +
           (t->name ? quoted(*t->name) : "nil") + ", mixdown " + yes_no(t->mixdown) + ", mono " +
           yes_no(t->mono) + ", exclusive " + yes_no(t->exclusive) + ", private " +
           yes_no(t->is_private) + ", mute " + std::to_string(t->mute_behavior) + "}";
  }
  if (const auto* c = payload_of<ConfigurationPayload>(o)) {
    return "SCStreamConfiguration{audio " + std::string(yes_no(c->captures_audio)) +
           ", exclude self " + yes_no(c->excludes_current_process_audio) + ", " +
           std::to_string(c->sample_rate) + " Hz, " + std::to_string(c->channel_count) +
           " ch, depth " + std::to_string(c->queue_depth) + ", " + std::to_string(c->width) + "x" +
           std::to_string(c->height) + ", interval " +
           std::to_string(c->minimum_frame_interval.value) + "/" +
           std::to_string(c->minimum_frame_interval.timescale) + "}";
  }
  return describe(o);
}

}  // namespace system_audio::fake
