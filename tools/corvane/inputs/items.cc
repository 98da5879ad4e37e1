#include "digest_items.h"

namespace corvane::tool {
namespace {

// The plug-in opens the copy by its /proc/self/fd/N path, a link its file methods follow.
Item spooled(const std::string& name, std::optional<Spool> spool, const std::string& error) {
  if (!spool) return {name, name, std::nullopt, error};
  auto shared = std::make_shared<const Spool>(std::move(*spool));
  return {name, shared->path(), shared->size(), std::nullopt, shared};
}

}  // namespace

void fileItems(const std::vector<std::string>& operands, const WalkChoices& choices, const ItemSink& sink) {
  for (const auto& operand : operands) {
    std::string error;
    bool going = true;
    if (operand == "-") {
      going = sink(spooled(operand, Spool::fromStandardInput(error), error));
    } else if (isStream(operand)) {
      going = sink(spooled(operand, Spool::fromPath(operand, error), error));
    } else {
      walkPaths(*platform::posixFileSystem(), {operand}, choices, [&](Job&& job) {
        Item item{job.name, job.name, std::nullopt, std::move(job.error)};
        if (job.walkRoot) item.walked = std::move(job);
        return going = sink(std::move(item));
      });
    }
    if (!going) return;
  }
}

std::vector<Item> fileItems(const std::vector<std::string>& operands, const WalkChoices& choices) {
  std::vector<Item> items;
  fileItems(operands, choices, [&](Item&& item) {
    items.push_back(std::move(item));
    return true;
  });
  return items;
}

std::vector<Item> assetItems(const std::vector<std::string>& identifiers) {
  std::vector<Item> items;
  items.reserve(identifiers.size());
  for (const auto& id : identifiers) items.push_back({id, id});
  return items;
}

}  // namespace corvane::tool
