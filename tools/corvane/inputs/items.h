#pragma once

#include <cstdint>
#include <functional>
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
  std::optional<std::uint64_t> size = std::nullopt;  // known for spooled streams; for files the plug-in tells
  std::optional<std::string> error = std::nullopt;   // the item failed before any call (a folder, say)
  std::shared_ptr<const Spool> spool = nullptr;      // keeps a spooled stream's copy until its call is done
  std::optional<Job> walked = std::nullopt;          // a file met in a walk, as the walk saw it
};

using ItemSink = std::function<bool(Item&&)>;

// The items path operands stand for, in order, each handed to `sink` as it is found (false
// from it ends the listing). "-" is standard input; a stream (a FIFO, a process substitution) is
// read into a spool first; anything else goes to the folder walk.
void fileItems(const std::vector<std::string>& operands, const WalkChoices& choices, const ItemSink& sink);
std::vector<Item> fileItems(const std::vector<std::string>& operands, const WalkChoices& choices);
std::vector<Item> assetItems(const std::vector<std::string>& identifiers);

}  // namespace corvane::tool
