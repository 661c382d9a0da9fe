// Serial dispatch queues: one worker thread each, tasks in FIFO order. When the
// last reference goes, the queue runs what is already queued and its worker
// ends.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {

struct QueueCore {
  std::mutex mutex;
  std::condition_variable wake;  // the worker: a task or the stop arrived
  std::deque<std::function<void()>> tasks;
  bool stopping = false;
  std::thread worker;
};

namespace {

thread_local dispatch_queue_t current = nullptr;

void run_worker(const std::shared_ptr<QueueCore>& core, dispatch_queue_t handle) {
  current = handle;
  std::unique_lock lock(core->mutex);
  for (;;) {
    core->wake.wait(lock, [&] { return !core->tasks.empty() || core->stopping; });
    if (core->tasks.empty()) break;
    std::function<void()> task = std::move(core->tasks.front());
    core->tasks.pop_front();
    lock.unlock();
    task();
    task = nullptr;  // what it captured goes before the lock: it may queue more
    lock.lock();
  }
}

}  // namespace

QueuePayload::QueuePayload(std::string text, std::shared_ptr<QueueCore> made)
    : label(std::move(text)), core(std::move(made)) {}

QueuePayload::~QueuePayload() {
  if (!core) return;
  {
    std::lock_guard lock(core->mutex);
    core->stopping = true;
  }
  core->wake.notify_all();
  // Released from one of its own tasks, the worker finishes on its own.
  if (std::this_thread::get_id() == core->worker.get_id()) {
    core->worker.detach();
  } else {
    core->worker.join();
  }
}

void dispatch_async(dispatch_queue_t queue, std::function<void()> task) {
  const QueuePayload* payload = payload_of<QueuePayload>(queue);
  if (payload == nullptr) return;
  {
    std::lock_guard lock(payload->core->mutex);
    payload->core->tasks.push_back(std::move(task));
  }
  payload->core->wake.notify_one();
}

dispatch_queue_t current_queue() {
  return current;
}

}  // namespace system_audio::standin

using namespace system_audio;

dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t) {
  if (!standin::called("dispatch_queue_create")) return nullptr;
  auto core = std::make_shared<standin::QueueCore>();
  const void* handle = standin::make_object(standin::QueuePayload(label ? label : "", core));
  const auto queue = static_cast<dispatch_queue_t>(const_cast<void*>(handle));
  std::lock_guard lock(core->mutex);  // the worker's id is set before it can run
  core->worker = std::thread([core, queue] { standin::run_worker(core, queue); });
  return queue;
}

void dispatch_retain(dispatch_queue_t queue) {
  if (standin::called("dispatch_retain", queue)) standin::retain(queue);
}

void dispatch_release(dispatch_queue_t queue) {
  if (standin::called("dispatch_release", queue)) standin::release(queue);
}
