#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "host/method_answer.h"

namespace corvane::host {

// The one-shot result callback that comes with each method call. Copies share one state: the
// first answer, from any thread and at any time, is delivered; any later one is dropped and
// reported. If every copy is gone without an answer, that is reported and nil is delivered, so
// that the caller is never left waiting.
class FlutterResult {
 public:
  using Deliver = std::function<void(MethodAnswer)>;
  using Report = std::function<void(std::string_view problem)>;

  FlutterResult(Deliver deliver, Report report);

  void operator()(MethodAnswer answer) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace corvane::host
