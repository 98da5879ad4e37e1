#include "inputs/items.h"

#include <cerrno>

namespace corvane::tool {
namespace {

Item failed(const std::string& name, const Error& error) { return {name, {name, error.text()}}; }

Item lentItem(const std::string& name, std::shared_ptr<LentInput> lent) { return {name, {name}, std::move(lent)}; }

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
      going = sink(lentItem(operand, streamInput(fileSystem, std::nullopt, streams, turns)));
    } else if (type == platform::FileType::kFifo || type == platform::FileType::kSocket) {
      going = sink(lentItem(operand, streamInput(fileSystem, operand, streams, turns)));
    } else if (type == platform::FileType::kDevice) {
      // A block device is read whole, by position; a character device (/dev/null, a terminal) is
      // read as a stream, as sha256sum reads both.
      // Told apart by opening it, not reading; it is opened again when its call comes.
      const auto device = fileSystem.openBlockDevice(operand);
      if (device) {
        going = sink(lentItem(operand, blockDeviceInput(fileSystem, operand)));
      } else if (device.error().code == ENOTBLK) {
        going = sink(lentItem(operand, streamInput(fileSystem, operand, streams, turns)));
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
