// A daemon worker thread that can be asked whether it has finished and,
// when joined, says whether it ended normally (with its result) or
// abnormally (an exception escaped its body).
//
// A thread that cannot be created stops the whole process at once: the
// daemon has no way to continue without the worker it asked for.
//
// The handle is owned by one thread (the accept loop); `finished` may be
// called at any time, `join` once. The destructor joins a thread that was
// not joined yet, so no thread outlives its handle.
#ifndef CORVANE_MANAGERD_WORKER_THREAD_H
#define CORVANE_MANAGERD_WORKER_THREAD_H

#include <atomic>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <variant>

namespace corvane_manager_resident_lab {

// Writes "failed to spawn thread: <system reason>" to standard error and
// aborts the process.
[[noreturn]] void abort_thread_spawn(const std::system_error& error);

template <class Result = std::monostate>
class WorkerThread {
 public:
  // Starts `body` on a new thread. A body returning void yields
  // std::monostate.
  template <class Body>
  static WorkerThread spawn(Body body) {
    auto state = std::make_shared<State>();
    WorkerThread handle;
    handle.state_ = state;
    try {
      handle.thread_ = std::thread([state, body = std::optional<Body>(std::move(body))]() mutable {
        run_body(*state, *body);
        // What the body holds (a connection, a channel end) is released
        // before the thread reports itself finished.
        body.reset();
        state->finished.store(true);
      });
    } catch (const std::system_error& error) {
      abort_thread_spawn(error);
    }
    return handle;
  }

  WorkerThread() = default;
  WorkerThread(WorkerThread&&) noexcept = default;
  WorkerThread& operator=(WorkerThread&& other) noexcept {
    if (this != &other) {
      wait();
      thread_ = std::move(other.thread_);
      state_ = std::move(other.state_);
    }
    return *this;
  }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  ~WorkerThread() { wait(); }

  // Whether the body has ended (normally or not); joining is then immediate.
  bool finished() const { return state_ && state_->finished.load(); }

  // Waits for the thread: the body's result, or nothing when it ended
  // abnormally.
  std::optional<Result> join() {
    wait();
    if (!state_) return std::nullopt;
    return std::move(state_->result);
  }

 private:
  struct State {
    std::atomic<bool> finished{false};
    std::optional<Result> result;  // written by the thread before `finished`
  };

  template <class Body>
  static void run_body(State& state, Body& body) {
    try {
      if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
        body();
        state.result.emplace();
      } else {
        state.result.emplace(body());
      }
    } catch (...) {
      // The abnormal end is the absent result; the join reports it.
      state.result.reset();
    }
  }

  void wait() {
    if (thread_.joinable()) thread_.join();
  }

  std::thread thread_;
  std::shared_ptr<State> state_;
};

}  // namespace corvane_manager_resident_lab

#endif
