#include "digest_items.h"

#include "file_walk.h"

namespace corvane::tool {
namespace {

// The plug-in opens the copy by its /proc/self/fd/N path, a link its file methods follow.
Item spooled(const std::string& name, std::optional<Spool> spool, const std::string& error) {
  if (!spool) return {name, name, std::nullopt, error, nullptr};
  auto shared = std::make_shared<const Spool>(std::move(*spool));
  return {name, shared->path(), shared->size(), std::nullopt, shared};
}

}  // namespace

std::vector<Item> fileItems(const std::vector<std::string>& operands, const WalkChoices& choices) {
  std::vector<Item> items;
  for (const auto& operand : operands) {
    std::string error;
    if (operand == "-") {
      items.push_back(spooled(operand, Spool::fromStandardInput(error), error));
    } else if (isStream(operand)) {
      items.push_back(spooled(operand, Spool::fromPath(operand, error), error));
    } else {
      for (auto& job : expandPaths(*platform::posixFileSystem(), {operand}, choices)) {
        items.push_back({job.name, job.name, std::nullopt, std::move(job.error), nullptr});
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
