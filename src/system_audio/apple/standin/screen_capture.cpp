// ScreenCaptureKit's objects and messages that hold data only, and the output
// class; shared by every Linux binding.

#include "system_audio/apple/standin/screen_capture.h"

#include <cstring>
#include <utility>

#include "system_audio/apple/standin/objects.h"

namespace system_audio::standin {
namespace {

using namespace apple;

template <class Result, class Payload>
Result* make(Payload payload) {
  return static_cast<Result*>(const_cast<void*>(make_object(std::move(payload))));
}

// An initialiser that fails gives back the allocated object, as on the platform.
template <class T>
T* failed_init(T* self) {
  if (self != nullptr) release(self);
  return nullptr;
}

OutputPayload& output_of(VantleSckAudioOutput* self) {
  return *payload_of<OutputPayload>(self);
}

template <auto Field, class Value>
void configure(const char* selector, SCStreamConfiguration* self, Value value) {
  if (!called(selector, self)) return;
  if (auto* configuration = payload_of<ConfigurationPayload>(self)) configuration->*Field = value;
}

}  // namespace

OutputPayload::OutputPayload(OutputPayload&& other) noexcept
    : self(other.self), drop_flag(std::exchange(other.drop_flag, 0)) {
  std::memcpy(ivars, other.ivars, sizeof ivars);
}

// dealloc: the state's drop, then NSObject's dealloc (nothing here).
OutputPayload::~OutputPayload() {
  if (self != nullptr) drop_audio_output_state(self);
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
  if (queue != nullptr) release(queue);
}

SCShareableContent* make_shareable_content(const std::vector<DisplayFacts>& displays) {
  ArrayPayload array{{}, true};
  for (const DisplayFacts& facts : displays) {
    array.items.emplace_back(make_object(DisplayPayload{facts}));
  }
  return make<SCShareableContent>(ContentPayload{Ref(make_object(std::move(array)))});
}

SCStream* init_stream(SCStream* self, SCContentFilter* filter, SCStreamConfiguration* configuration,
                      VantleSckAudioOutput* delegate) {
  StreamPayload* stream = payload_of<StreamPayload>(self);
  if (stream == nullptr || stream->filter.object != nullptr ||
      payload_of<FilterPayload>(filter) == nullptr ||
      payload_of<ConfigurationPayload>(configuration) == nullptr ||
      (delegate != nullptr && payload_of<OutputPayload>(delegate) == nullptr)) {
    return failed_init(self);
  }
  for (const void* kept :
       {static_cast<const void*>(filter), static_cast<const void*>(configuration),
        static_cast<const void*>(delegate)}) {
    if (kept != nullptr) retain(kept);
  }
  stream->filter = Ref(filter);
  stream->configuration = Ref(configuration);
  stream->delegate = Ref(delegate);
  return self;
}

bool attach_output(SCStream* self, VantleSckAudioOutput* output, dispatch_queue_t queue) {
  StreamPayload* stream = payload_of<StreamPayload>(self);
  if (stream == nullptr || payload_of<OutputPayload>(output) == nullptr || stream->output.object ||
      (queue != nullptr && payload_of<QueuePayload>(queue) == nullptr)) {
    return false;
  }
  retain(output);
  stream->output = Ref(output);
  if (queue != nullptr) retain(queue);
  stream->queue = queue;
  return true;
}

void stop_stream(SCStream* self, std::string_view description) {
  StreamPayload* stream = payload_of<StreamPayload>(self);
  if (stream == nullptr || stream->delegate.object == nullptr) return;
  auto* error = make_error(description);
  auto* delegate = static_cast<VantleSckAudioOutput*>(const_cast<void*>(stream->delegate.object));
  stream_did_stop_with_error(delegate, self, error);
  release(error);
}

}  // namespace system_audio::standin

using namespace system_audio;
using standin::called;
using standin::payload_of;

CMTime CMTimeMake(std::int64_t value, std::int32_t timescale) {
  return CMTime{value, timescale, 1, 0};
}

namespace system_audio::apple {

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
  const auto* content = payload_of<standin::ContentPayload>(self);
  return content ? static_cast<NSArray*>(const_cast<void*>(content->displays.object)) : nullptr;
}

const void* NSArray_firstObject(NSArray* self) {
  const auto* array = payload_of<standin::ArrayPayload>(self);
  return array == nullptr || array->items.empty() ? nullptr : array->items.front().object;
}

CGDirectDisplayID SCDisplay_displayID(SCDisplay* self) {
  const auto* display = payload_of<standin::DisplayPayload>(self);
  return display ? display->facts.id : 0;
}

NSInteger SCDisplay_width(SCDisplay* self) {
  const auto* display = payload_of<standin::DisplayPayload>(self);
  return display ? display->facts.width : 0;
}

NSInteger SCDisplay_height(SCDisplay* self) {
  const auto* display = payload_of<standin::DisplayPayload>(self);
  return display ? display->facts.height : 0;
}

SCContentFilter* SCContentFilter_alloc() {
  if (!called("SCContentFilter_alloc")) return nullptr;
  return standin::make<SCContentFilter>(standin::FilterPayload{});
}

SCContentFilter* SCContentFilter_initWithDisplay_excludingWindows(SCContentFilter* self,
                                                                  SCDisplay* display,
                                                                  NSArray* excluded) {
  auto* filter = payload_of<standin::FilterPayload>(self);
  if (!called("SCContentFilter_initWithDisplay_excludingWindows", self) || filter == nullptr ||
      filter->initialised || payload_of<standin::DisplayPayload>(display) == nullptr ||
      payload_of<standin::ArrayPayload>(excluded) == nullptr) {
    return standin::failed_init(self);
  }
  standin::retain(display);
  standin::retain(excluded);
  filter->display = standin::Ref(display);
  filter->excluded_windows = standin::Ref(excluded);
  filter->initialised = true;
  return self;
}

SCStreamConfiguration* SCStreamConfiguration_new() {
  if (!called("SCStreamConfiguration_new")) return nullptr;
  return standin::make<SCStreamConfiguration>(standin::ConfigurationPayload{});
}

using Configuration = standin::ConfigurationPayload;

void SCStreamConfiguration_setCapturesAudio(SCStreamConfiguration* self, BOOL value) {
  standin::configure<&Configuration::captures_audio>("SCStreamConfiguration_setCapturesAudio", self,
                                                     value);
}
void SCStreamConfiguration_setExcludesCurrentProcessAudio(SCStreamConfiguration* self, BOOL value) {
  standin::configure<&Configuration::excludes_current_process_audio>(
      "SCStreamConfiguration_setExcludesCurrentProcessAudio", self, value);
}
void SCStreamConfiguration_setSampleRate(SCStreamConfiguration* self, NSInteger value) {
  standin::configure<&Configuration::sample_rate>("SCStreamConfiguration_setSampleRate", self,
                                                  value);
}
void SCStreamConfiguration_setChannelCount(SCStreamConfiguration* self, NSInteger value) {
  standin::configure<&Configuration::channel_count>("SCStreamConfiguration_setChannelCount", self,
                                                    value);
}
void SCStreamConfiguration_setQueueDepth(SCStreamConfiguration* self, NSInteger value) {
  standin::configure<&Configuration::queue_depth>("SCStreamConfiguration_setQueueDepth", self,
                                                  value);
}
void SCStreamConfiguration_setWidth(SCStreamConfiguration* self, std::size_t value) {
  standin::configure<&Configuration::width>("SCStreamConfiguration_setWidth", self, value);
}
void SCStreamConfiguration_setHeight(SCStreamConfiguration* self, std::size_t value) {
  standin::configure<&Configuration::height>("SCStreamConfiguration_setHeight", self, value);
}
void SCStreamConfiguration_setMinimumFrameInterval(SCStreamConfiguration* self, CMTime value) {
  standin::configure<&Configuration::minimum_frame_interval>(
      "SCStreamConfiguration_setMinimumFrameInterval", self, value);
}

SCStream* SCStream_alloc() {
  if (!called("SCStream_alloc")) return nullptr;
  return standin::make<SCStream>(standin::StreamPayload{});
}

VantleSckAudioOutput* VantleSckAudioOutput_alloc() {
  if (!called("VantleSckAudioOutput_alloc")) return nullptr;
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
  if (!called("VantleSckAudioOutput_init", self)) return standin::failed_init(self);
  return self;
}

}  // namespace system_audio::apple
