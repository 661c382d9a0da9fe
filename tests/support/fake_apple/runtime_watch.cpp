#include "runtime_watch.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>

#include "system_audio/apple/standin/objects.h"
#include "system_audio/apple/standin/screen_capture.h"
#include "system_audio/apple/standin/utf16_text.h"

namespace system_audio::fake {
namespace {

using namespace standin;

std::string quoted(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
    out += static_cast<unsigned char>(c) < 0x20 ? std::string(escaped) : std::string(1, c);
  }
  return out + '"';
}

std::string yes_no(bool value) {
  return value ? "YES" : "NO";
}

template <class Payload>
bool is(const void* object) {
  return payload_of<Payload>(object) != nullptr;
}

struct Ledger final : Watch {
  std::mutex mutex;
  std::set<const void*> live;
  std::vector<std::string> faults;

  void made(const Object& object) override {
    std::lock_guard lock(mutex);
    live.insert(&object);
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
    if (object != nullptr && !alive(object)) {
      add_fault(std::string(function) + " of dead object");
      return false;
    }
    return answer_call(function,
                       std::string(function) + "(" + (object ? describe(object) : "") + ")");
  }
};

Ledger& ledger() {
  // Never destroyed: queue workers may still release objects while main exits.
  static Ledger* const instance = new Ledger();
  return *instance;
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
  std::set<const void*> live;
  {
    std::lock_guard lock(ledger().mutex);
    live = ledger().live;
  }
  std::vector<std::string> described;
  for (const void* object : live) described.push_back(describe(object));
  std::sort(described.begin(), described.end());
  return described;
}

std::vector<std::string> faults() {
  std::lock_guard lock(ledger().mutex);
  return ledger().faults;
}

void add_fault(std::string text) {
  std::lock_guard lock(ledger().mutex);
  ledger().faults.push_back(std::move(text));
}

void forget_objects() {
  std::lock_guard lock(ledger().mutex);
  ledger().live.clear();
  ledger().faults.clear();
}

std::string describe(const void* o) {
  if (o == nullptr) return "NULL";
  if (o == kCFBooleanTrue || o == kCFBooleanFalse) return o == kCFBooleanTrue ? "true" : "false";
  if (const auto* s = payload_of<StringPayload>(o)) {
    return (s->ns ? "NSString " : "CFString ") + content(o);
  }
  if (is<NumberPayload>(o)) return "CFNumber " + content(o);
  if (const auto* a = payload_of<ArrayPayload>(o)) {
    return (a->ns ? "NSArray[" : "CFArray[") + std::to_string(a->items.size()) + "]";
  }
  if (const auto* d = payload_of<DictionaryPayload>(o)) {
    return "CFDictionary{" + std::to_string(d->entries.size()) + "}";
  }
  if (const auto* e = payload_of<ErrorPayload>(o))
    return "NSError " + content(e->description.object);
  if (const auto* b = payload_of<BlockPayload>(o)) return b->name;
  if (const auto* q = payload_of<QueuePayload>(o)) return "dispatch_queue " + quoted(q->label);
  if (const auto* d = payload_of<DisplayPayload>(o))
    return "SCDisplay " + std::to_string(d->facts.id);
  return is<TapFields>(o)              ? "CATapDescription"
         : is<FilterPayload>(o)        ? "SCContentFilter"
         : is<StreamPayload>(o)        ? "SCStream"
         : is<ContentPayload>(o)       ? "SCShareableContent"
         : is<ConfigurationPayload>(o) ? "SCStreamConfiguration"
         : is<OutputPayload>(o)        ? "VantleSckAudioOutput"
                                       : "CoreMedia object";
}

std::string content(const void* o) {
  if (const auto* s = payload_of<StringPayload>(o)) return quoted(utf8_from_utf16(s->units));
  if (const auto* n = payload_of<NumberPayload>(o)) return std::to_string(n->value);
  std::vector<std::string> parts;
  if (const auto* a = payload_of<ArrayPayload>(o)) {
    for (const Ref& item : a->items) parts.push_back(content(item.object));
    return listed(parts, '[', ']');
  }
  if (const auto* d = payload_of<DictionaryPayload>(o)) {
    for (const auto& [key, value] : d->entries) {
      parts.push_back(content(key.object) + ": " + content(value.object));
    }
    return listed(parts, '{', '}');
  }
  if (const auto* t = payload_of<TapFields>(o)) {
    return "CATapDescription{" + std::string(t->exclusive ? "excluding " : "only ") +
           std::to_string(t->processes) + ", device " + quoted(t->device_uid) + ", stream " +
           std::to_string(t->stream) + ", name " + (t->name ? quoted(*t->name) : "nil") +
           ", mixdown " + yes_no(t->mixdown) + ", mono " + yes_no(t->mono) + ", exclusive " +
           yes_no(t->exclusive) + ", private " + yes_no(t->is_private) + ", mute " +
           std::to_string(t->mute_behavior) + "}";
  }
  if (const auto* c = payload_of<ConfigurationPayload>(o)) {
    return "SCStreamConfiguration{audio " + yes_no(c->captures_audio) + ", exclude self " +
           yes_no(c->excludes_current_process_audio) + ", " + std::to_string(c->sample_rate) +
           " Hz, " + std::to_string(c->channel_count) + " ch, depth " +
           std::to_string(c->queue_depth) + ", " + std::to_string(c->width) + "x" +
           std::to_string(c->height) + ", interval " +
           std::to_string(c->minimum_frame_interval.value) + "/" +
           std::to_string(c->minimum_frame_interval.timescale) + "}";
  }
  return describe(o);
}

}  // namespace system_audio::fake
