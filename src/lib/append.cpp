#include "lib/append.h"

#include "lib/channel.h"

namespace corvane_manager_resident_lab {

namespace {

// Clears the append-busy flag when the worker ends, however it ends, so a
// crashed append never blocks later ones.
class BusyRelease {
 public:
  explicit BusyRelease(Shared& shared) : shared_(shared) {}
  BusyRelease(const BusyRelease&) = delete;
  BusyRelease& operator=(const BusyRelease&) = delete;
  ~BusyRelease() { shared_.append_busy.exchange(false); }

 private:
  Shared& shared_;
};

Clock::duration wait_limit(Clock::time_point deadline) {
  const Clock::duration left = deadline - Clock::now();
  if (left < APPEND_ANSWER_RESERVE) return Clock::duration::zero();
  return left - APPEND_ANSWER_RESERVE;
}

}  // namespace

std::string append_answer(const AppendCompletion& completion) {
  if (const auto* stored = std::get_if<AppendStored>(&completion)) return stored->response;
  if (std::holds_alternative<AppendRefused>(completion)) return std::string(APPEND_REFUSED);
  return std::string(APPEND_UNCERTAIN);
}

std::string start_append_observation(const Configuration& configuration,
                                     const std::shared_ptr<Shared>& shared,
                                     const AppendObservationRequest& request,
                                     Clock::time_point deadline, AppendWorkers& pending,
                                     const AppendBody& body) {
  bool idle = false;
  if (!shared->append_busy.compare_exchange_strong(idle, true)) return std::string(APPEND_BUSY);

  auto [sender, receiver] = make_channel<AppendCompletion>();
  auto worker = WorkerThread<>::spawn(
      [configuration, shared, request, body, sender = std::move(sender)]() mutable {
        const BusyRelease release(*shared);
        Sender<AppendCompletion> out(std::move(sender));
        out.send(body(configuration, request));
      });

  auto received = receiver.receive_for(wait_limit(deadline));
  if (auto* completion = std::get_if<AppendCompletion>(&received)) {
    worker.join();
    return append_answer(*completion);
  }
  if (std::holds_alternative<SenderGone>(received)) {
    if (!worker.join()) shared->append_worker_failures.fetch_add(1);
    return std::string(APPEND_UNCERTAIN);
  }
  pending.push_back(std::move(worker));
  return std::string(APPEND_UNCERTAIN);
}

}  // namespace corvane_manager_resident_lab
