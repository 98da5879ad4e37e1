#include "digest_items.h"

#include <unistd.h>

#include "file_walk.h"

namespace corvane::tool {
namespace {

// NOTE(merge): the plug-in opens the copy by its /proc/self/fd/N path, a link it must follow;
// a file layer that refuses links (O_NOFOLLOW) needs to let these through.
Item spooled(const std::string& name, std::optional<Spool> spool, const std::string& error) {
  if (!spool) return {name, name, std::nullopt, error, nullptr};
  auto shared = std::make_shared<const Spool>(std::move(*spool));
  return {name, shared->path(), shared->size(), std::nullopt, shared};
}

}  // namespace

std::vector<Item> fileItems(const std::vector<std::string>& operands, bool recursive) {
  std::vector<Item> items;
  for (const auto& operand : operands) {
    std::string error;
    if (operand == "-") {
      items.push_back(spooled(operand, Spool::fromDescriptor(STDIN_FILENO, error), error));
    } else if (isStream(operand)) {
      items.push_back(spooled(operand, Spool::fromPath(operand, error), error));
    } else {
      // NOTE(merge): the walker's jobs become items here; when it hands over the reason the file
      // layer carries, that goes into Item::error unchanged.
      for (auto& job : expandPaths({operand}, recursive)) {
        items.push_back({job.name, job.name, job.size, std::move(job.error), nullptr});
      }
    }
  }
  return items;
}

std::vector<Item> assetItems(const std::vector<std::string>& identifiers) {
  std::vector<Item> items;
  items.reserve(identifiers.size());
  for (const auto& id : identifiers) items.push_back({id, id, std::nullopt, std::nullopt, nullptr});
  return items;
}

}  // namespace corvane::tool
