#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::tool {

// One thing to compute: a file path or an asset identifier.
struct Job {
  std::string name;
  std::optional<std::uint64_t> size;  // known for files
  std::optional<std::string> error;   // set when the job fails before any call (a directory, say)
};

// The files that path operands name, in the order given. With `recursive`, a directory stands
// for every file below it (names in byte order, depth first, hidden ones included, links to
// folders not followed); without it, a directory is an error for that operand.
std::vector<Job> expandPaths(const std::vector<std::string>& operands, bool recursive);

// Why a file could not be fingerprinted or hashed, in words, as far as it can be told.
std::string explainFailure(const std::string& path);

}  // namespace corvane::tool
