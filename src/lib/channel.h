// A channel of capacity one between two threads: the sender delivers at most
// one value, the receiver waits for it with a time limit and learns when the
// sender is gone without having sent anything.
//
// Each end is owned by one thread; the two ends may be used and dropped
// concurrently.
#ifndef CORVANE_MANAGERD_CHANNEL_H
#define CORVANE_MANAGERD_CHANNEL_H

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>

namespace corvane_manager_resident_lab {

namespace channel_detail {

template <class T>
struct Slot {
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<T> value;
  bool sender_alive = true;
  bool receiver_alive = true;
};

}  // namespace channel_detail

// What a timed receive ended with.
struct SenderGone {
  friend bool operator==(const SenderGone&, const SenderGone&) = default;
};
struct TimedOut {
  friend bool operator==(const TimedOut&, const TimedOut&) = default;
};

template <class T>
class Sender {
 public:
  explicit Sender(std::shared_ptr<channel_detail::Slot<T>> slot) : slot_(std::move(slot)) {}
  Sender(Sender&&) noexcept = default;
  Sender& operator=(Sender&&) noexcept = delete;
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;
  ~Sender() {
    if (!slot_) return;
    {
      std::lock_guard lock(slot_->mutex);
      slot_->sender_alive = false;
    }
    slot_->changed.notify_all();
  }

  // Delivers `value`; false when the receiver is gone or a value was
  // already delivered, and the value is then discarded.
  bool send(T value) {
    {
      std::lock_guard lock(slot_->mutex);
      if (!slot_->receiver_alive || slot_->value) return false;
      slot_->value.emplace(std::move(value));
    }
    slot_->changed.notify_all();
    return true;
  }

 private:
  std::shared_ptr<channel_detail::Slot<T>> slot_;
};

template <class T>
class Receiver {
 public:
  explicit Receiver(std::shared_ptr<channel_detail::Slot<T>> slot) : slot_(std::move(slot)) {}
  Receiver(Receiver&&) noexcept = default;
  Receiver& operator=(Receiver&&) noexcept = delete;
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  ~Receiver() {
    if (!slot_) return;
    std::lock_guard lock(slot_->mutex);
    slot_->receiver_alive = false;
  }

  // Waits at most `limit` for the value. A value already delivered wins
  // over a sender that has since gone.
  std::variant<T, SenderGone, TimedOut> receive_for(std::chrono::steady_clock::duration limit) {
    std::unique_lock lock(slot_->mutex);
    const bool settled = slot_->changed.wait_for(
        lock, limit, [&] { return slot_->value.has_value() || !slot_->sender_alive; });
    if (slot_->value) {
      T value = std::move(*slot_->value);
      slot_->value.reset();
      return value;
    }
    if (!settled) return TimedOut{};
    return SenderGone{};
  }

 private:
  std::shared_ptr<channel_detail::Slot<T>> slot_;
};

template <class T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
  auto slot = std::make_shared<channel_detail::Slot<T>>();
  return {Sender<T>(slot), Receiver<T>(std::move(slot))};
}

}  // namespace corvane_manager_resident_lab

#endif
