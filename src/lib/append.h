// The observation append path: the control handler starts one append worker
// (at most one runs in the whole daemon), waits for its completion until
// shortly before the control deadline, and answers stored, refused, busy or
// uncertain.
//
// `start_append_observation` runs on the main thread only; the worker it
// starts owns copies of everything it uses and meets the handler only
// through a capacity-one channel and the append-busy flag of `Shared`.
#ifndef CORVANE_MANAGERD_APPEND_H
#define CORVANE_MANAGERD_APPEND_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "lib/configuration.h"
#include "lib/control.h"
#include "lib/shared.h"
#include "lib/worker_thread.h"

namespace corvane_manager_resident_lab {

// The store committed (or had already committed) the observation: `response`
// is the compact JSON of the store's executed record.
struct AppendStored {
  std::string response;
  friend bool operator==(const AppendStored&, const AppendStored&) = default;
};
// The store refused the request for good.
struct AppendRefused {
  friend bool operator==(const AppendRefused&, const AppendRefused&) = default;
};
// Nobody can say whether the observation is durable; retry with the same
// operation identifier.
struct AppendUncertain {
  friend bool operator==(const AppendUncertain&, const AppendUncertain&) = default;
};

using AppendCompletion = std::variant<AppendStored, AppendRefused, AppendUncertain>;

// The work one append worker does with its own copies.
using AppendBody =
    std::function<AppendCompletion(const Configuration&, const AppendObservationRequest&)>;

// Append workers whose completion was not awaited; the accept loop reaps
// them and the teardown joins them.
using AppendWorkers = std::vector<WorkerThread<>>;

// The handler stops waiting this long before the control deadline, so that
// the answer can still be written in time.
inline constexpr std::chrono::milliseconds APPEND_ANSWER_RESERVE{25};

// The control answer for a completion.
std::string append_answer(const AppendCompletion& completion);

// Runs one append whose fields already passed the control checks and
// returns the answer. A worker still running at the wait limit is put into
// `pending`.
std::string start_append_observation(const Configuration& configuration,
                                     const std::shared_ptr<Shared>& shared,
                                     const AppendObservationRequest& request,
                                     Clock::time_point deadline, AppendWorkers& pending,
                                     const AppendBody& body);

}  // namespace corvane_manager_resident_lab

#endif
