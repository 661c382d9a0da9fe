// Serial dispatch queues: one worker thread each, tasks in FIFO order. When the
// last reference goes, the queue runs what is already queued and its worker
// ends.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "system_audio/coreaudio/standin/object_registry.h"

namespace system_audio::standin::detail {

struct QueueCore {
  std::mutex mutex;
  std::condition_variable wake;  // the worker: a task or the stop arrived
  std::condition_variable idle;  // waiters: nothing queued, nothing running
  std::deque<std::function<void()>> tasks;
  bool running_task = false;
  bool stopping = false;
  std::thread worker;
  std::thread::id worker_id;
};

namespace {

thread_local platform::dispatch_queue_t current = nullptr;

void run_worker(const std::shared_ptr<QueueCore>& core, platform::dispatch_queue_t handle) {
  current = handle;
  std::unique_lock lock(core->mutex);
  for (;;) {
    core->wake.wait(lock, [&] { return !core->tasks.empty() || core->stopping; });
    if (core->tasks.empty()) break;
    std::function<void()> task = std::move(core->tasks.front());
    core->tasks.pop_front();
    core->running_task = true;
    lock.unlock();
    task();
    task = nullptr;  // whatever the task captured goes before the queue looks idle
    lock.lock();
    core->running_task = false;
    if (core->tasks.empty()) core->idle.notify_all();
  }
}

// The core of a live queue, or nullptr (with a fault naming call).
std::shared_ptr<QueueCore> live_core(platform::dispatch_queue_t queue, const char* call) {
  Registry& registry = Registry::instance();
  std::lock_guard lock(registry.mutex());
  const Object* object = registry.live_locked(queue);
  if (object == nullptr || object->kind != ObjectKind::dispatch_queue) {
    registry.fault_locked(std::string(call) + " on " + describe_locked(registry, queue));
    return nullptr;
  }
  return object->queue;
}

}  // namespace

void stop_queue(std::shared_ptr<QueueCore> core) {
  {
    std::lock_guard lock(core->mutex);
    core->stopping = true;
  }
  core->wake.notify_all();
  if (std::this_thread::get_id() == core->worker_id) {
    // Released from one of its own tasks: the worker finishes on its own and
    // keeps the core alive through its own reference.
    core->worker.detach();
  } else {
    core->worker.join();
  }
}

}  // namespace system_audio::standin::detail

namespace system_audio::platform {

using standin::detail::Object;
using standin::detail::QueueCore;
using standin::detail::Registry;

dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr) {
  if (!standin::detail::call_allowed("dispatch_queue_create", [&] {
        return (label == nullptr ? std::string("NULL") : standin::detail::quoted(label)) + ", " +
               (attr == DISPATCH_QUEUE_SERIAL ? "DISPATCH_QUEUE_SERIAL" : "attributes");
      })) {
    return nullptr;
  }
  auto object = std::make_unique<Object>();
  object->kind = standin::ObjectKind::dispatch_queue;
  object->label = label == nullptr ? "" : label;
  auto core = std::make_shared<QueueCore>();
  object->queue = core;
  const auto handle =
      static_cast<dispatch_queue_t>(const_cast<void*>(static_cast<const void*>(object.get())));
  {
    // The worker must know its own id before any task can ask for it.
    std::lock_guard lock(core->mutex);
    core->worker = std::thread([core, handle] { standin::detail::run_worker(core, handle); });
    core->worker_id = core->worker.get_id();
  }
  Registry::instance().adopt(std::move(object));
  return handle;
}

void dispatch_release(dispatch_queue_t queue) {
  standin::detail::call_allowed("dispatch_release", [&] { return standin::describe(queue); });
  Registry::instance().release(queue, standin::detail::ReleaseCall::dispatch_release);
}

}  // namespace system_audio::platform

namespace system_audio::standin {

void dispatch_async(platform::dispatch_queue_t queue, std::function<void()> task) {
  const auto core = detail::live_core(queue, "dispatch_async");
  if (!core) return;
  {
    std::lock_guard lock(core->mutex);
    core->tasks.push_back(std::move(task));
  }
  core->wake.notify_one();
}

platform::dispatch_queue_t retain_queue(platform::dispatch_queue_t queue) {
  detail::Registry::instance().retain(queue, "dispatch_retain");
  return queue;
}

std::optional<std::string> queue_label(platform::dispatch_queue_t queue) {
  detail::Registry& registry = detail::Registry::instance();
  std::lock_guard lock(registry.mutex());
  const detail::Object* object = registry.live_locked(queue);
  if (object == nullptr || object->kind != ObjectKind::dispatch_queue) return std::nullopt;
  return object->label;
}

platform::dispatch_queue_t current_queue() {
  return detail::current;
}

void wait_until_idle(platform::dispatch_queue_t queue) {
  std::shared_ptr<detail::QueueCore> core;
  {
    detail::Registry& registry = detail::Registry::instance();
    std::lock_guard lock(registry.mutex());
    const detail::Object* object = registry.live_locked(queue);
    if (object == nullptr || object->kind != ObjectKind::dispatch_queue) return;
    core = object->queue;
  }
  if (std::this_thread::get_id() == core->worker_id) return;
  std::unique_lock lock(core->mutex);
  core->idle.wait(lock, [&] { return core->tasks.empty() && !core->running_task; });
}

}  // namespace system_audio::standin
