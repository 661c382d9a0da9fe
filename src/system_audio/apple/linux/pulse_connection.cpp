#include "system_audio/apple/linux/pulse_connection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop-api.h>
#include <pulse/rtclock.h>

#include <cstdlib>
#include <utility>

#include "system_audio/apple/linux/mainloop_lock.h"

namespace system_audio::pulse {
namespace {

struct Alarm {
  pa_threaded_mainloop* mainloop;
  bool fired = false;
};

void ring(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
  auto* alarm = static_cast<Alarm*>(userdata);
  alarm->fired = true;
  pa_threaded_mainloop_signal(alarm->mainloop, 0);
}

// A reply slot on the waiting thread's stack; the operation is cancelled
// before the slot goes, so a late reply never reaches it.
struct ServerInfoReply {
  explicit ServerInfoReply(pa_threaded_mainloop* loop) : mainloop(loop) {}
  pa_threaded_mainloop* mainloop;
  bool done = false;
  std::optional<std::string> default_sink;
};

void on_server_info(pa_context*, const pa_server_info* info, void* userdata) {
  auto* reply = static_cast<ServerInfoReply*>(userdata);
  if (info != nullptr && info->default_sink_name != nullptr && *info->default_sink_name) {
    reply->default_sink = info->default_sink_name;
  }
  reply->done = true;
  pa_threaded_mainloop_signal(reply->mainloop, 0);
}

// The answer to a query of a list: what its entries made, done once the list
// ended, with the server's error when it failed.
template <class Value>
struct ListReply {
  explicit ListReply(pa_threaded_mainloop* loop) : mainloop(loop) {}
  pa_threaded_mainloop* mainloop;
  bool done = false;
  int error = 0;
  Value value{};
};

// True for an entry; at the list's end marks the reply done (failed or not).
template <class Value>
bool is_entry(ListReply<Value>& reply, pa_context* context, int eol) {
  if (eol == 0) return true;
  if (eol < 0) reply.error = pa_context_errno(context);
  reply.done = true;
  return false;
}

void on_sink_info(pa_context* context, const pa_sink_info* info, int eol, void* userdata) {
  auto* reply = static_cast<ListReply<std::optional<SinkInfo>>*>(userdata);
  if (is_entry(*reply, context, eol) && info != nullptr) {
    SinkInfo sink;
    sink.name = info->name != nullptr ? info->name : "";
    sink.index = info->index;
    sink.monitor_source = info->monitor_source_name != nullptr ? info->monitor_source_name : "";
    sink.rate = info->sample_spec.rate;
    sink.channels = info->sample_spec.channels;
    sink.channel_map = info->channel_map;
    reply->value = std::move(sink);
  }
  pa_threaded_mainloop_signal(reply->mainloop, 0);
}

void on_sink_input_info(pa_context* context, const pa_sink_input_info* info, int eol,
                        void* userdata) {
  auto* reply = static_cast<ListReply<std::vector<PlaybackStream>>*>(userdata);
  if (is_entry(*reply, context, eol) && info != nullptr) {
    // The client's own properties, which its streams carry.
    const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (pid != nullptr) reply->value.push_back({pid_t(std::atol(pid)), info->corked == 0});
  }
  pa_threaded_mainloop_signal(reply->mainloop, 0);
}

struct SuccessReply {
  explicit SuccessReply(pa_threaded_mainloop* loop) : mainloop(loop) {}
  pa_threaded_mainloop* mainloop;
  bool done = false;
  bool success = false;
};

void on_success(pa_context*, int success, void* userdata) {
  auto* reply = static_cast<SuccessReply*>(userdata);
  reply->success = success != 0;
  reply->done = true;
  pa_threaded_mainloop_signal(reply->mainloop, 0);
}

}  // namespace

std::string server_error(pa_context* context, const char* what) {
  return std::string(what) + ": " + pa_strerror(pa_context_errno(context));
}

Result<std::shared_ptr<PulseConnection>> PulseConnection::connect(std::chrono::milliseconds bound) {
  const auto deadline = Clock::now() + bound;
  std::shared_ptr<PulseConnection> connection(new PulseConnection());
  connection->mainloop_ = pa_threaded_mainloop_new();
  if (connection->mainloop_ == nullptr) return fail("cannot create a PulseAudio mainloop");
  connection->context_ =
      pa_context_new(pa_threaded_mainloop_get_api(connection->mainloop_), kApplicationName);
  if (connection->context_ == nullptr) return fail("cannot create a PulseAudio context");
  pa_context_set_state_callback(connection->context_, on_state, connection.get());
  if (pa_threaded_mainloop_start(connection->mainloop_) < 0) {
    return fail("cannot start the PulseAudio mainloop thread");
  }

  MainloopLock lock(connection->mainloop_);
  // No autospawn: a helper that starts a sound server would capture only silence.
  if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return fail(server_error(connection->context_, "cannot connect to the audio server"));
  }
  auto* context = connection->context_;
  const bool ready = connection->wait_locked(
      [context] { return pa_context_get_state(context) == PA_CONTEXT_READY; }, deadline);
  if (!ready) {
    if (!connection->good_locked()) {
      return fail(server_error(context, "cannot connect to the audio server"));
    }
    return fail("the audio server did not answer in time");
  }
  return connection;
}

PulseConnection::~PulseConnection() {
  if (mainloop_ == nullptr) return;
  if (context_ != nullptr) {
    MainloopLock lock(mainloop_);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  pa_threaded_mainloop_stop(mainloop_);
  pa_threaded_mainloop_free(mainloop_);
}

void PulseConnection::on_state(pa_context* context, void* self) {
  auto* connection = static_cast<PulseConnection*>(self);
  pa_threaded_mainloop_signal(connection->mainloop_, 0);
  if (connection->events_ != nullptr && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
    // Reported once: a failed context never becomes good again.
    std::exchange(connection->events_, nullptr)(ServerEvent::lost, 0);
  }
}

void PulseConnection::on_event(pa_context*, pa_subscription_event_type_t type, std::uint32_t index,
                               void* self) {
  const ServerEventSink events = static_cast<PulseConnection*>(self)->events_;
  if (events == nullptr) return;
  const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  if (facility == PA_SUBSCRIPTION_EVENT_SINK && kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
    events(ServerEvent::sink_removed, index);
  } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER && kind == PA_SUBSCRIPTION_EVENT_CHANGE) {
    events(ServerEvent::server_changed, index);
  }
}

Result<void> PulseConnection::watch(ServerEventSink sink) {
  MainloopLock lock(mainloop_);
  if (events_ != nullptr) return {};
  if (!good_locked()) return fail(kServerLostText);
  pa_context_set_subscribe_callback(context_, on_event, this);
  SuccessReply reply(mainloop_);
  pa_operation* operation = pa_context_subscribe(
      context_, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
      on_success, &reply);
  if (operation == nullptr) return fail(server_error(context_, "cannot ask the audio server"));
  if (auto answered = finish_locked(operation, reply.done); !answered) {
    return fail(std::move(answered.error()));
  }
  if (!reply.success) return fail(server_error(context_, "cannot watch the audio server"));
  events_ = sink;
  return {};
}

std::string server_reason(const std::string& error) {
  if (error == kServerLostText) return pa_strerror(PA_ERR_CONNECTIONTERMINATED);
  if (error.ends_with("did not answer in time")) return pa_strerror(PA_ERR_TIMEOUT);
  const auto colon = error.rfind(": ");
  return colon == std::string::npos ? error : error.substr(colon + 2);
}

Result<void> PulseConnection::finish_locked(pa_operation* operation, const bool& done) {
  const bool ok = wait_locked([&] { return done; }, Clock::now() + kOperationBound);
  if (!done) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  if (ok) return {};
  return fail(good_locked() ? "the audio server did not answer in time" : kServerLostText);
}

bool PulseConnection::good_locked() const {
  return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
}

bool PulseConnection::alive() {
  MainloopLock lock(mainloop_);
  return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool PulseConnection::wait_locked(const std::function<bool()>& done, Clock::time_point deadline) {
  if (done()) return true;
  Alarm alarm{mainloop_};
  const auto remaining =
      std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  pa_time_event* timer = pa_context_rttime_new(
      context_, pa_rtclock_now() + pa_usec_t(remaining > 0 ? remaining : 0), ring, &alarm);
  bool result = false;
  for (;;) {
    if (done()) {
      result = true;
      break;
    }
    if (!good_locked() || alarm.fired || timer == nullptr || Clock::now() >= deadline) break;
    pa_threaded_mainloop_wait(mainloop_);
  }
  if (timer != nullptr) pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
  return result;
}

Result<std::optional<std::string>> PulseConnection::default_sink_name_locked() {
  ServerInfoReply reply(mainloop_);
  pa_operation* operation = pa_context_get_server_info(context_, on_server_info, &reply);
  if (operation == nullptr) return fail(server_error(context_, "cannot ask the audio server"));
  if (auto answered = finish_locked(operation, reply.done); !answered) {
    return fail(std::move(answered.error()));
  }
  return reply.default_sink;
}

Result<std::optional<SinkInfo>> PulseConnection::sink_named_locked(const std::string& name) {
  if (name.empty()) return std::optional<SinkInfo>();
  ListReply<std::optional<SinkInfo>> reply(mainloop_);
  pa_operation* operation =
      pa_context_get_sink_info_by_name(context_, name.c_str(), on_sink_info, &reply);
  if (operation == nullptr) {
    if (pa_context_errno(context_) == PA_ERR_INVALID) return std::optional<SinkInfo>();
    return fail(server_error(context_, "cannot ask the audio server"));
  }
  if (auto answered = finish_locked(operation, reply.done); !answered) {
    return fail(std::move(answered.error()));
  }
  if (reply.error == PA_ERR_NOENTITY || reply.error == PA_ERR_INVALID) {
    return std::optional<SinkInfo>();
  }
  if (reply.error != 0) return fail(std::string("sink query failed: ") + pa_strerror(reply.error));
  return reply.value;
}

Result<std::optional<SinkInfo>> PulseConnection::sink_named(const std::string& name) {
  MainloopLock lock(mainloop_);
  return sink_named_locked(name);
}

Result<std::vector<PlaybackStream>> PulseConnection::playback_streams() {
  MainloopLock lock(mainloop_);
  ListReply<std::vector<PlaybackStream>> reply(mainloop_);
  pa_operation* operation =
      pa_context_get_sink_input_info_list(context_, on_sink_input_info, &reply);
  if (operation == nullptr) return fail(server_error(context_, "cannot ask the audio server"));
  if (auto answered = finish_locked(operation, reply.done); !answered) {
    return fail(std::move(answered.error()));
  }
  if (reply.error != 0) {
    return fail(std::string("playback stream query failed: ") + pa_strerror(reply.error));
  }
  return std::move(reply.value);
}

Result<std::optional<SinkInfo>> PulseConnection::default_sink() {
  MainloopLock lock(mainloop_);
  auto name = default_sink_name_locked();
  if (!name) return fail(name.error());
  if (!*name) return std::optional<SinkInfo>();
  return sink_named_locked(**name);
}

}  // namespace system_audio::pulse

#if defined(__SANITIZE_THREAD__)
// libpulse is built without ThreadSanitizer: its internal mutexes pass between
// its own threads through atomics that the sanitizer cannot see, so their first
// lock on the mainloop thread reads as a race with their allocation; and its
// packets and memory blocks are recycled across connections (a record stream's
// thread, the connection's mainloop thread) through lock-free lists it cannot
// see either. Only reports with libpulse locking its own mutex or filling its
// own buffers and packets are silenced; weak, so that a program with its own
// list keeps it.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
  return "race:pa_mutex_lock\nrace:pa_srbchannel_read\nrace:pa_iochannel_read_with_ancil_data\n"
         "race:pa_packet_new_data\n";
}
#endif
