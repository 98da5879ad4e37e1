#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inputs/file_walk.h"
#include "inputs/spool.h"
#include "platform/file_system.h"

namespace corvane::tool {

// One thing to fingerprint or hash: as the user named it, and as the plug-in is asked for it.
struct Item {
  std::string name;  // as printed: the path, "-" for standard input, or the asset identifier
  // As called: the same path, "/proc/self/fd/N" for a spooled stream, or the identifier; with
  // what the walk saw of it, or why it failed before any call (a folder, say).
  SeenFile file;
  std::optional<std::uint64_t> size = std::nullopt;  // known for spooled streams; for files the plug-in tells
  std::shared_ptr<const Spool> spool = nullptr;      // keeps a spooled stream's copy until its call is done
};

using ItemSink = std::function<bool(Item&&)>;

// The items path operands stand for, in order, each handed to `sink` as it is found (false
// from it ends the listing). "-" is standard input; a stream (a FIFO, a process substitution) is
// read into a spool first; anything else goes to the folder walk.
void fileItems(platform::FileSystem& fileSystem, const std::vector<std::string>& operands, const WalkChoices& choices,
               const ItemSink& sink);
// One named file, as a check list names it.
Item fileItem(platform::FileSystem& fileSystem, const std::string& operand);
std::vector<Item> assetItems(const std::vector<std::string>& identifiers);

}  // namespace corvane::tool
