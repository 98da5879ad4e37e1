#include "catalog/sides.h"

#include <unordered_map>

#include "catalog/store/flaws.h"

namespace corvane::tool::catalog {

Result<Side> sideOfStore(Store& store) {
  if (auto begun = store.beginRead(); !begun) return failure(begun.error());
  auto roots = store.roots();
  if (!roots) return failure(roots.error());
  Side side;
  std::unordered_map<std::int64_t, std::uint32_t> indexOf;
  for (const auto& root : *roots) {
    indexOf[root.id] = static_cast<std::uint32_t>(side.roots.size());
    side.roots.push_back(root.path);
    side.machines.push_back(root.machine);
  }
  if (const auto count = store.entryCount()) side.items.reserve(static_cast<std::size_t>(*count));
  // Named by alignSides, once both sides are known.
  auto read = store.forEachEntry([&](std::int64_t root, Entry& entry) {
    side.items.push_back({std::move(entry), indexOf.at(root), {}});
    return true;
  });
  if (!read) return failure(read.error());
  if (auto ended = store.endRead(); !ended) return failure(ended.error());
  side.flawed = reportFlaws(store);
  return side;
}

bool isFolder(platform::FileSystem& fileSystem, const std::string& operand) {
  const auto status = fileSystem.statusOf(nullptr, operand, platform::Resolve::kFollow);
  return status && status->type == platform::FileType::kDirectory;
}

Result<Side> loadSide(const Context& context, const std::string& operand, const ScanSettings& settings) {
  auto& fileSystem = *context.files;
  if (isFolder(fileSystem, operand)) {
    auto store = Store::openInMemory();
    if (!store) return failure(store.error());
    const auto canonical = fileSystem.canonicalPath(operand);
    if (!canonical) return failure(Error::ofFile(canonical.error(), operand));
    auto root = (*store)->rootFor(machineName(), *canonical, RootKind::kFolder, settings.hash.value_or(false));
    if (!root) return failure(root.error());
    Scanner scanner(**store, context, settings);
    if (auto scanned = scanner.scanFolder(*root); !scanned) return failure(scanned.error().within(operand));
    auto side = sideOfStore(**store);
    if (side) side->unreadable = scanner.counts().failed;
    return side;
  }
  auto store = Store::open(fileSystem, operand, Store::Access::kRead);
  if (!store) return failure(store.error());
  auto side = sideOfStore(**store);
  if (!side) return failure(side.error().within((*store)->name()));
  return side;
}

}  // namespace corvane::tool::catalog
