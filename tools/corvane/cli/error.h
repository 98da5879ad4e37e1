#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/expected.h"
#include "platform/file_error.h"

namespace corvane::tool {

// Why something the command tried did not happen: what was attempted (a name, an action; may be
// empty) and why, in words, with the kind of failure where a caller acts on it.
struct Error {
  enum class Kind {
    kFailed,   // anything else
    kMissing,  // what was named does not exist (--ignore-missing passes over it)
    kChanged,  // the file changed, or is another one, since it was first looked at
  };

  std::string attempted;
  std::string why;
  Kind kind = Kind::kFailed;

  // As a message says it: "attempted: why", or the reason alone.
  std::string text() const { return attempted.empty() ? why : attempted + ": " + why; }
  // The same failure, said of something larger: "context: attempted: why".
  Error within(std::string_view context) const {
    return {attempted.empty() ? std::string(context) : std::string(context) + ": " + attempted, why, kind};
  }

  // A failure of the file layer, with its reason in words; kMissing when nothing is there.
  static Error ofFile(const platform::FileError& error, std::string attempted = {});
};

// A value, or why there is none; Result<> for an operation that gives nothing back.
template <typename T = void>
using Result = platform::Expected<T, Error>;

inline platform::Unexpected<Error> failure(std::string why, Error::Kind kind = Error::Kind::kFailed) {
  return platform::Unexpected(Error{{}, std::move(why), kind});
}
inline platform::Unexpected<Error> failure(Error error) { return platform::Unexpected(std::move(error)); }

}  // namespace corvane::tool
