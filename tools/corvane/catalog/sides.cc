#include "catalog/sides.h"

#include <unordered_map>

namespace corvane::tool::catalog {

Result<Side> sideOfStore(Store& store) {
  if (auto failure = store.beginRead()) return platform::Unexpected(*failure);
  auto roots = store.roots();
  if (!roots) return platform::Unexpected(roots.error());
  Side side;
  std::unordered_map<std::int64_t, std::uint32_t> indexOf;
  bool machines = false;
  for (const auto& root : *roots) {
    machines |= root.machine != roots->front().machine;
  }
  for (const auto& root : *roots) {
    indexOf[root.id] = static_cast<std::uint32_t>(side.roots.size());
    side.roots.push_back(root.path);
  }
  // With several roots an entry is named where it lies, and on which machine when they differ.
  std::vector<std::string> prefixes;
  for (const auto& root : *roots) {
    prefixes.push_back((machines ? root.machine + ":" : std::string()) + (root.path == "/" ? "/" : root.path + "/"));
  }
  const bool named = roots->size() > 1;
  if (const auto count = store.entryCount()) side.items.reserve(static_cast<std::size_t>(*count));
  auto failure = store.forEachEntry(
      [&](std::int64_t root, Entry& entry) {
        const auto index = indexOf.at(root);
        std::string name = named ? prefixes[index] + entry.path : std::string();
        side.items.push_back({std::move(entry), index, std::move(name)});
        return true;
      },
      true);
  if (failure) return platform::Unexpected(*failure);
  if (auto end = store.endRead()) return platform::Unexpected(*end);
  return side;
}

bool isFolder(const std::string& operand) {
  const auto status = platform::posixFileSystem()->statusOf(nullptr, operand, platform::Resolve::kFollow);
  return status && status->type == platform::FileType::kDirectory;
}

Result<Side> loadSide(const std::string& operand, const CommonOptions& common, const ScanSettings& settings) {
  auto& fileSystem = *platform::posixFileSystem();
  if (isFolder(operand)) {
    auto store = Store::openInMemory();
    if (!store) return platform::Unexpected(store.error());
    const auto canonical = fileSystem.canonicalPath(operand);
    if (!canonical) return platform::Unexpected(operand + ": " + canonical.error().description());
    auto root = (*store)->rootFor(machineName(), *canonical, RootKind::kFolder);
    if (!root) return platform::Unexpected(root.error());
    Scanner scanner(**store, common, settings);
    if (auto failure = scanner.scanFolder(*root)) return platform::Unexpected(operand + ": " + *failure);
    return sideOfStore(**store);
  }
  auto store = Store::open(operand, Store::Access::kRead);
  if (!store) return platform::Unexpected(store.error());
  auto side = sideOfStore(**store);
  if (!side) return platform::Unexpected(operand + ": " + side.error());
  return side;
}

}  // namespace corvane::tool::catalog
