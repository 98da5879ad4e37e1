#include "inputs/items.h"

#include <cerrno>

namespace corvane::tool {
namespace {

// Standard input, by a name the plug-in's calls can open.
constexpr const char* kStandardInput = "/proc/self/fd/0";

Item failed(const std::string& name, const Error& error) { return {name, {name, error.text()}}; }

// The plug-in opens a spool by its /proc/self/fd/N path, a link its file methods follow.
Item streamItem(platform::FileSystem& fileSystem, const std::string& name, const std::string& path,
                platform::FileResult<std::unique_ptr<platform::Stream>> stream, StreamUse use,
                const std::shared_ptr<StreamTurns>& turns) {
  if (!stream) return failed(name, Error::ofFile(stream.error()));
  if (use == StreamUse::kKeepWhole) {
    auto spool = Spool::from(fileSystem, **stream);
    if (!spool) return failed(name, spool.error());
    auto shared = std::make_shared<const Spool>(std::move(*spool));
    return {name, {shared->path()}, shared->size(), shared};
  }
  auto lent = lendStream(fileSystem, path, std::move(*stream), turns);
  if (!lent) return failed(name, lent.error());
  return {name, {(*lent)->name()}, std::nullopt, nullptr, std::move(*lent)};
}

Item deviceItem(platform::FileSystem& fileSystem, const std::string& name, std::unique_ptr<platform::File> device) {
  auto lent = lendBlockDevice(fileSystem, name, std::move(device));
  if (!lent) return failed(name, lent.error());
  return {name, {(*lent)->name()}, std::nullopt, nullptr, std::move(*lent)};
}

}  // namespace

void fileItems(platform::FileSystem& fileSystem, const std::vector<std::string>& operands, const WalkChoices& choices,
               StreamUse streams, const ItemSink& sink) {
  const auto turns = streamTurns();
  for (const auto& operand : operands) {
    bool going = true;
    const auto status = operand == "-" ? platform::FileResult<platform::FileStatus>(platform::FileStatus{})
                                       : fileSystem.statusOf(nullptr, operand, platform::Resolve::kFollow);
    const auto type = status ? status->type : platform::FileType::kUnknown;
    if (operand == "-") {
      going = sink(streamItem(fileSystem, operand, kStandardInput, fileSystem.standardInput(), streams, turns));
    } else if (type == platform::FileType::kFifo || type == platform::FileType::kSocket) {
      going = sink(streamItem(fileSystem, operand, operand, fileSystem.openStream(operand), streams, turns));
    } else if (type == platform::FileType::kDevice) {
      // A block device is read whole, by position; a character device (/dev/null, a terminal) is
      // read as a stream, as sha256sum reads both.
      auto device = fileSystem.openBlockDevice(operand);
      if (device) {
        going = sink(deviceItem(fileSystem, operand, std::move(*device)));
      } else if (device.error().code == ENOTBLK) {
        going = sink(streamItem(fileSystem, operand, operand, fileSystem.openStream(operand), streams, turns));
      } else {
        going = sink(failed(operand, Error::ofFile(device.error())));
      }
    } else {
      walkPaths(fileSystem, {operand}, choices, [&](SeenFile&& seen) {
        std::string name = seen.path;
        return going = sink({std::move(name), std::move(seen)});
      });
    }
    if (!going) return;
  }
}

Item fileItem(platform::FileSystem& fileSystem, const std::string& operand, StreamUse streams) {
  std::optional<Item> item;
  fileItems(fileSystem, {operand}, WalkChoices{}, streams, [&](Item&& one) {
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
