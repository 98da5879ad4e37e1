#include "host/method_result.h"

#include <atomic>
#include <utility>

namespace corvane::host {

struct FlutterResult::State {
  Deliver deliver;
  Report report;
  std::atomic<bool> answered{false};

  State(Deliver d, Report r) : deliver(std::move(d)), report(std::move(r)) {}
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  ~State() {
    if (answered.load(std::memory_order_acquire)) return;
    if (report) report("a method call was never answered");
    if (deliver) deliver(Value{});
  }
};

FlutterResult::FlutterResult(Deliver deliver, Report report)
    : state_(std::make_shared<State>(std::move(deliver), std::move(report))) {}

void FlutterResult::operator()(MethodAnswer answer) const {
  if (state_->answered.exchange(true, std::memory_order_acq_rel)) {
    if (state_->report) state_->report("a method call was answered more than once");
    return;
  }
  // Only the first caller gets here, so the deliverer is ours alone; let go of what it holds
  // as soon as it has run.
  auto deliver = std::move(state_->deliver);
  if (deliver) deliver(std::move(answer));
}

}  // namespace corvane::host
