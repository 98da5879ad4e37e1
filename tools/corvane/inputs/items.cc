#include "inputs/items.h"

namespace corvane::tool {
namespace {

// The plug-in opens the copy by its /proc/self/fd/N path, a link its file methods follow.
Item spooled(const std::string& name, Result<Spool> spool) {
  if (!spool) return {name, {name, spool.error().text()}};
  auto shared = std::make_shared<const Spool>(std::move(*spool));
  return {name, {shared->path()}, shared->size(), shared};
}

}  // namespace

void fileItems(platform::FileSystem& fileSystem, const std::vector<std::string>& operands, const WalkChoices& choices,
               const ItemSink& sink) {
  for (const auto& operand : operands) {
    bool going = true;
    if (operand == "-") {
      going = sink(spooled(operand, Spool::fromStandardInput(fileSystem)));
    } else if (isStream(fileSystem, operand)) {
      going = sink(spooled(operand, Spool::fromPath(fileSystem, operand)));
    } else {
      walkPaths(fileSystem, {operand}, choices, [&](SeenFile&& seen) {
        std::string name = seen.path;
        return going = sink({std::move(name), std::move(seen)});
      });
    }
    if (!going) return;
  }
}

Item fileItem(platform::FileSystem& fileSystem, const std::string& operand) {
  std::optional<Item> item;
  fileItems(fileSystem, {operand}, WalkChoices{}, [&](Item&& one) {
    item = std::move(one);
    return false;
  });
  return std::move(*item);
}

std::vector<Item> assetItems(const std::vector<std::string>& identifiers) {
  std::vector<Item> items;
  items.reserve(identifiers.size());
  for (const auto& id : identifiers) items.push_back({id, {id}});
  return items;
}

}  // namespace corvane::tool
