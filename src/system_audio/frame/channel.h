#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace system_audio {

// Unbounded FIFO with any number of senders and one receiver. Sends never block;
// a send fails (handing the message back) once the receiver is gone, and the
// receiver sees "closed" once every sender is gone and the queue is drained.
template <class T>
class Sender;
template <class T>
class Receiver;

namespace channel_detail {
template <class T>
struct Shared {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<T> queue;
  std::size_t senders = 1;
  bool receiver_alive = true;
};
}  // namespace channel_detail

template <class T>
class Sender {
 public:
  Sender() = default;
  Sender(const Sender& other) : shared_(other.shared_) { attach(); }
  Sender(Sender&& other) noexcept : shared_(std::move(other.shared_)) {}
  Sender& operator=(Sender other) noexcept {
    std::swap(shared_, other.shared_);
    return *this;
  }
  ~Sender() { detach(); }

  // On failure the message comes back to the caller untouched.
  std::expected<void, T> send(T message) const {
    if (!shared_) return std::unexpected(std::move(message));
    {
      std::lock_guard lock(shared_->mutex);
      if (!shared_->receiver_alive) return std::unexpected(std::move(message));
      shared_->queue.push_back(std::move(message));
    }
    shared_->ready.notify_one();
    return {};
  }

 private:
  template <class U>
  friend std::pair<Sender<U>, Receiver<U>> make_channel();
  explicit Sender(std::shared_ptr<channel_detail::Shared<T>> shared) : shared_(std::move(shared)) {}

  void attach() {
    if (!shared_) return;
    std::lock_guard lock(shared_->mutex);
    ++shared_->senders;
  }
  void detach() {
    if (!shared_) return;
    bool last;
    {
      std::lock_guard lock(shared_->mutex);
      last = --shared_->senders == 0;
    }
    if (last) shared_->ready.notify_all();
    shared_.reset();
  }

  std::shared_ptr<channel_detail::Shared<T>> shared_;
};

enum class ReceiveStatus { message, closed, timed_out };

template <class T>
class Receiver {
 public:
  Receiver() = default;
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  Receiver(Receiver&& other) noexcept : shared_(std::move(other.shared_)) {}
  Receiver& operator=(Receiver&& other) noexcept {
    if (this != &other) {
      detach();
      shared_ = std::move(other.shared_);
    }
    return *this;
  }
  ~Receiver() { detach(); }

  // Blocks until a message arrives; nullopt once closed and drained.
  std::optional<T> receive() {
    std::unique_lock lock(shared_->mutex);
    shared_->ready.wait(lock, [&] { return !shared_->queue.empty() || shared_->senders == 0; });
    return take(lock);
  }

  struct Received {
    ReceiveStatus status;
    std::optional<T> message;
  };

  Received receive_for(std::chrono::steady_clock::duration limit) {
    std::unique_lock lock(shared_->mutex);
    const bool woke = shared_->ready.wait_for(
        lock, limit, [&] { return !shared_->queue.empty() || shared_->senders == 0; });
    if (!woke) return {ReceiveStatus::timed_out, std::nullopt};
    auto message = take(lock);
    return {message ? ReceiveStatus::message : ReceiveStatus::closed, std::move(message)};
  }

 private:
  template <class U>
  friend std::pair<Sender<U>, Receiver<U>> make_channel();
  explicit Receiver(std::shared_ptr<channel_detail::Shared<T>> shared)
      : shared_(std::move(shared)) {}

  std::optional<T> take(std::unique_lock<std::mutex>&) {
    if (shared_->queue.empty()) return std::nullopt;
    T message = std::move(shared_->queue.front());
    shared_->queue.pop_front();
    return message;
  }

  // Queued messages go with the receiver, so later sends fail instead of piling up.
  void detach() {
    if (!shared_) return;
    std::deque<T> dropped;
    {
      std::lock_guard lock(shared_->mutex);
      shared_->receiver_alive = false;
      dropped.swap(shared_->queue);
    }
    shared_.reset();
  }

  std::shared_ptr<channel_detail::Shared<T>> shared_;
};

template <class T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
  auto shared = std::make_shared<channel_detail::Shared<T>>();
  return {Sender<T>(shared), Receiver<T>(shared)};
}

}  // namespace system_audio
