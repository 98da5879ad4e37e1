#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file_walk.h"
#include "spool.h"

namespace corvane::tool {

// One thing to fingerprint or hash: as the user named it, and as the plug-in is asked for it.
struct Item {
  std::string name;    // as printed: the path, "-" for standard input, or the asset identifier
  std::string target;  // as called: the same, or "/proc/self/fd/N" for a spooled stream
  std::optional<std::uint64_t> size;  // known for spooled streams; for files the plug-in tells
  std::optional<std::string> error;   // the item failed before any call (a folder, say)
  std::shared_ptr<const Spool> spool;  // keeps a spooled stream's copy until its call is done
};

// The items path operands stand for, in order. "-" is standard input; a stream (a FIFO, a
// process substitution) is read into a spool first; anything else goes to the folder walk.
std::vector<Item> fileItems(const std::vector<std::string>& operands, const WalkChoices& choices);
std::vector<Item> assetItems(const std::vector<std::string>& identifiers);

}  // namespace corvane::tool
