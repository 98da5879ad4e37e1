#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inputs/file_walk.h"
#include "inputs/lent_input.h"
#include "platform/file_system.h"

namespace corvane::tool {

// One thing to fingerprint or hash: as the user named it, and as the plug-in is asked for it.
struct Item {
  std::string name;  // as printed: the path, "-" for standard input, or the asset identifier
  // As called: the same path, or the identifier (a stream or device goes by the name it is lent
  // by); with what the walk saw of it, or why it failed before any call (a folder, say).
  SeenFile file;
  std::shared_ptr<LentInput> lent = nullptr;  // a stream or device the command reads for the plug-in
};

using ItemSink = std::function<bool(Item&&)>;

// The items path operands stand for, in order, each handed to `sink` as it is found (false
// from it ends the listing). "-" is standard input; a stream (a FIFO, a process substitution, a
// character device such as /dev/null) is read as `streams` says; a block device is lent whole;
// anything else goes to the folder walk, which skips streams and devices it meets.
void fileItems(platform::FileSystem& fileSystem, const std::vector<std::string>& operands, const WalkChoices& choices,
               StreamUse streams, const ItemSink& sink);
// One named file, as a check list names it.
Item fileItem(platform::FileSystem& fileSystem, const std::string& operand, StreamUse streams);
std::vector<Item> assetItems(const std::vector<std::string>& identifiers);

}  // namespace corvane::tool
