// ScreenCaptureKit's objects and messages that hold data only, and the output
// class; shared by every binding.

#include <cstring>
#include <string>
#include <utility>

#include "system_audio/apple/audio_output_class.h"
#include "system_audio/apple/standin/objects.h"
#include "system_audio/apple/standin/screen_capture.h"

namespace system_audio::standin {
namespace {

using namespace apple;

struct DisplayPayload {
  DisplayFacts facts;
};
std::string describe(const DisplayPayload& display) {
  return "SCDisplay " + std::to_string(display.facts.id);
}

struct ContentPayload {
  Ref displays;  // NSArray of SCDisplay
};
std::string describe(const ContentPayload&) {
  return "SCShareableContent";
}

struct FilterPayload {
  bool initialised = false;
  Ref display;
  Ref excluded_windows;
};
std::string describe(const FilterPayload& filter) {
  return filter.initialised ? "SCContentFilter" : "SCContentFilter (alloc)";
}

struct OutputPayload {
  VantleSckAudioOutput* self = nullptr;
  alignas(
      audio_output_class::IVARS_ALIGNMENT) unsigned char ivars[audio_output_class::IVARS_SIZE]{};
  unsigned char drop_flag = 0;
  OutputPayload() = default;
  OutputPayload(OutputPayload&& other) noexcept
      : self(other.self), drop_flag(std::exchange(other.drop_flag, 0)) {
    std::memcpy(ivars, other.ivars, sizeof ivars);
  }
  OutputPayload& operator=(OutputPayload&&) = delete;
  // dealloc: the state's drop, then NSObject's dealloc (nothing here).
  ~OutputPayload() {
    if (self != nullptr) drop_audio_output_state(self);
  }
};
std::string describe(const OutputPayload&) {
  return "VantleSckAudioOutput";
}

// Valid from alloc to the end of dealloc, when the ledger no longer lists it.
OutputPayload& output_of(VantleSckAudioOutput* self) {
  auto* object = const_cast<Object*>(static_cast<const Object*>(static_cast<const void*>(self)));
  return static_cast<Record<OutputPayload>*>(object)->value;
}

template <class Result, class Payload>
Result* make(Payload payload) {
  return static_cast<Result*>(
      const_cast<void*>(make_object(std::move(payload), "NSObject_release")));
}

// An initialiser that fails gives back the allocated object, as on the platform.
template <class T>
T* failed_init(T* self) {
  if (self != nullptr) release(self, "internal");
  return nullptr;
}

template <class Change>
void configure(const char* selector, SCStreamConfiguration* self, const std::string& value,
               Change change) {
  call(selector, self, std::string_view(value));
  if (auto* configuration = payload_of<ConfigurationPayload>(self)) {
    change(*configuration);
  } else if (self != nullptr) {
    add_fault(std::string(selector) + " sent to " + standin::describe(self));
  }
}

}  // namespace

std::string describe(const ConfigurationPayload&) {
  return "SCStreamConfiguration";
}

std::string content(const ConfigurationPayload& c) {
  return "SCStreamConfiguration{audio " + argument_text(c.captures_audio) + ", exclude self " +
         argument_text(c.excludes_current_process_audio) + ", " + std::to_string(c.sample_rate) +
         " Hz, " + std::to_string(c.channel_count) + " ch, depth " + std::to_string(c.queue_depth) +
         ", " + std::to_string(c.width) + "x" + std::to_string(c.height) + ", interval " +
         std::to_string(c.minimum_frame_interval.value) + "/" +
         std::to_string(c.minimum_frame_interval.timescale) + "}";
}

StreamPayload::StreamPayload(StreamPayload&& other) noexcept
    : filter(std::move(other.filter)),
      configuration(std::move(other.configuration)),
      delegate(std::move(other.delegate)),
      output(std::move(other.output)),
      queue(std::exchange(other.queue, nullptr)),
      binding(std::move(other.binding)) {}

StreamPayload::~StreamPayload() {
  binding.reset();  // the binding stops delivering before the output goes
  if (queue != nullptr) release(queue, "internal");
}

std::string describe(const StreamPayload& stream) {
  return stream.filter.object != nullptr ? "SCStream" : "SCStream (alloc)";
}

SCShareableContent* make_shareable_content(const std::vector<DisplayFacts>& displays) {
  ArrayPayload array{{}, true};
  for (const DisplayFacts& facts : displays) {
    array.items.emplace_back(make_object(DisplayPayload{facts}, "NSObject_release"));
  }
  return make<SCShareableContent>(ContentPayload{Ref(make_object(std::move(array)))});
}

StreamPayload* stream_payload(SCStream* stream) {
  return payload_of<StreamPayload>(stream);
}

SCStream* init_stream(SCStream* self, SCContentFilter* filter, SCStreamConfiguration* configuration,
                      VantleSckAudioOutput* delegate) {
  StreamPayload* stream = stream_payload(self);
  if (stream == nullptr || stream->filter.object != nullptr ||
      payload_of<FilterPayload>(filter) == nullptr ||
      payload_of<ConfigurationPayload>(configuration) == nullptr ||
      (delegate != nullptr && payload_of<OutputPayload>(delegate) == nullptr)) {
    add_fault("SCStream init with " + standin::describe(self) + ", " + standin::describe(filter) +
              ", " + standin::describe(configuration) + ", " + standin::describe(delegate));
    return failed_init(self);
  }
  for (const void* kept :
       {static_cast<const void*>(filter), static_cast<const void*>(configuration),
        static_cast<const void*>(delegate)}) {
    if (kept != nullptr) retain(kept, "internal");
  }
  stream->filter = Ref(filter);
  stream->configuration = Ref(configuration);
  stream->delegate = Ref(delegate);
  return self;
}

bool attach_output(SCStream* self, VantleSckAudioOutput* output, dispatch_queue_t queue) {
  StreamPayload* stream = stream_payload(self);
  if (stream == nullptr || payload_of<OutputPayload>(output) == nullptr || stream->output.object ||
      (queue != nullptr && !queue_label(queue))) {
    add_fault("SCStream attach of " + standin::describe(output) + " to " + standin::describe(self));
    return false;
  }
  retain(output, "internal");
  stream->output = Ref(output);
  if (queue != nullptr) retain(queue, "internal");
  stream->queue = queue;
  return true;
}

bool stop_stream(SCStream* self, std::string_view description) {
  StreamPayload* stream = stream_payload(self);
  if (stream == nullptr || stream->delegate.object == nullptr) return false;
  auto* error = make_error(description);
  auto* delegate = static_cast<VantleSckAudioOutput*>(const_cast<void*>(stream->delegate.object));
  stream_did_stop_with_error(delegate, self, error);
  release(error, "internal");
  return true;
}

}  // namespace system_audio::standin

namespace system_audio::apple {

using standin::call;
using standin::payload_of;

SCShareableContentCompletionHandler SCShareableContentCompletionHandler_create(
    SCShareableContentCompletionHandlerInvoke invoke, void* context, BlockDispose dispose) {
  return standin::make_block<SCShareableContentCompletionHandler>(
      "SCShareableContentCompletionHandler", invoke, context, dispose);
}

SCStreamCompletionHandler SCStreamCompletionHandler_create(SCStreamCompletionHandlerInvoke invoke,
                                                           void* context, BlockDispose dispose) {
  return standin::make_block<SCStreamCompletionHandler>("SCStreamCompletionHandler", invoke,
                                                        context, dispose);
}

NSArray* SCShareableContent_displays(SCShareableContent* self) {
  call("SCShareableContent_displays", self);
  const auto* content = payload_of<standin::ContentPayload>(self);
  return content ? static_cast<NSArray*>(const_cast<void*>(content->displays.object)) : nullptr;
}

const void* NSArray_firstObject(NSArray* self) {
  call("NSArray_firstObject", self);
  const auto* array = payload_of<standin::ArrayPayload>(self);
  return array == nullptr || array->items.empty() ? nullptr : array->items.front().object;
}

CGDirectDisplayID SCDisplay_displayID(SCDisplay* self) {
  call("SCDisplay_displayID", self);
  const auto* display = payload_of<standin::DisplayPayload>(self);
  return display ? display->facts.id : 0;
}

NSInteger SCDisplay_width(SCDisplay* self) {
  call("SCDisplay_width", self);
  const auto* display = payload_of<standin::DisplayPayload>(self);
  return display ? display->facts.width : 0;
}

NSInteger SCDisplay_height(SCDisplay* self) {
  call("SCDisplay_height", self);
  const auto* display = payload_of<standin::DisplayPayload>(self);
  return display ? display->facts.height : 0;
}

SCContentFilter* SCContentFilter_alloc() {
  if (!call("SCContentFilter_alloc")) return nullptr;
  return standin::make<SCContentFilter>(standin::FilterPayload{});
}

SCContentFilter* SCContentFilter_initWithDisplay_excludingWindows(SCContentFilter* self,
                                                                  SCDisplay* display,
                                                                  NSArray* excluded) {
  if (!call("SCContentFilter_initWithDisplay_excludingWindows", self, display, excluded)) {
    return standin::failed_init(self);
  }
  auto* filter = payload_of<standin::FilterPayload>(self);
  if (filter == nullptr || filter->initialised ||
      payload_of<standin::DisplayPayload>(display) == nullptr ||
      payload_of<standin::ArrayPayload>(excluded) == nullptr) {
    standin::add_fault("SCContentFilter init with " + standin::describe(self) + ", " +
                       standin::describe(display) + ", " + standin::describe(excluded));
    return standin::failed_init(self);
  }
  standin::retain(display, "internal");
  standin::retain(excluded, "internal");
  filter->display = standin::Ref(display);
  filter->excluded_windows = standin::Ref(excluded);
  filter->initialised = true;
  return self;
}

SCStreamConfiguration* SCStreamConfiguration_new() {
  if (!call("SCStreamConfiguration_new")) return nullptr;
  return standin::make<SCStreamConfiguration>(standin::ConfigurationPayload{});
}

void SCStreamConfiguration_setCapturesAudio(SCStreamConfiguration* self, BOOL value) {
  standin::configure("SCStreamConfiguration_setCapturesAudio", self, value ? "YES" : "NO",
                     [&](auto& c) { c.captures_audio = value; });
}
void SCStreamConfiguration_setExcludesCurrentProcessAudio(SCStreamConfiguration* self, BOOL value) {
  standin::configure("SCStreamConfiguration_setExcludesCurrentProcessAudio", self,
                     value ? "YES" : "NO",
                     [&](auto& c) { c.excludes_current_process_audio = value; });
}
void SCStreamConfiguration_setSampleRate(SCStreamConfiguration* self, NSInteger value) {
  standin::configure("SCStreamConfiguration_setSampleRate", self, std::to_string(value),
                     [&](auto& c) { c.sample_rate = value; });
}
void SCStreamConfiguration_setChannelCount(SCStreamConfiguration* self, NSInteger value) {
  standin::configure("SCStreamConfiguration_setChannelCount", self, std::to_string(value),
                     [&](auto& c) { c.channel_count = value; });
}
void SCStreamConfiguration_setQueueDepth(SCStreamConfiguration* self, NSInteger value) {
  standin::configure("SCStreamConfiguration_setQueueDepth", self, std::to_string(value),
                     [&](auto& c) { c.queue_depth = value; });
}
void SCStreamConfiguration_setWidth(SCStreamConfiguration* self, std::size_t value) {
  standin::configure("SCStreamConfiguration_setWidth", self, std::to_string(value),
                     [&](auto& c) { c.width = value; });
}
void SCStreamConfiguration_setHeight(SCStreamConfiguration* self, std::size_t value) {
  standin::configure("SCStreamConfiguration_setHeight", self, std::to_string(value),
                     [&](auto& c) { c.height = value; });
}
void SCStreamConfiguration_setMinimumFrameInterval(SCStreamConfiguration* self, CMTime value) {
  standin::configure("SCStreamConfiguration_setMinimumFrameInterval", self,
                     std::to_string(value.value) + "/" + std::to_string(value.timescale),
                     [&](auto& c) { c.minimum_frame_interval = value; });
}

SCStream* SCStream_alloc() {
  if (!call("SCStream_alloc")) return nullptr;
  return standin::make<SCStream>(standin::StreamPayload{});
}

VantleSckAudioOutput* VantleSckAudioOutput_alloc() {
  if (!call("VantleSckAudioOutput_alloc")) return nullptr;
  auto* output = standin::make<VantleSckAudioOutput>(standin::OutputPayload{});
  standin::output_of(output).self = output;
  return output;
}

void* VantleSckAudioOutput_ivars(VantleSckAudioOutput* self) {
  return standin::output_of(self).ivars;
}

unsigned char* VantleSckAudioOutput_drop_flag(VantleSckAudioOutput* self) {
  return &standin::output_of(self).drop_flag;
}

VantleSckAudioOutput* VantleSckAudioOutput_init(VantleSckAudioOutput* self) {
  if (!call("VantleSckAudioOutput_init", self)) return standin::failed_init(self);
  return self;
}

}  // namespace system_audio::apple
