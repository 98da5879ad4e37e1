#include "inputs/spool.h"

namespace corvane::tool {

Result<Spool> Spool::from(platform::FileSystem& fileSystem, platform::Stream& stream) {
  auto copy = fileSystem.memoryFileFrom(stream);
  if (!copy) return failure(Error::ofFile(copy.error()));
  return Spool(std::move(*copy));
}

Result<Spool> Spool::fromStandardInput(platform::FileSystem& fileSystem) {
  const auto input = fileSystem.standardInput();
  return from(fileSystem, *input);
}

Result<Spool> Spool::fromPath(platform::FileSystem& fileSystem, const std::string& path) {
  auto stream = fileSystem.openStream(path);
  if (!stream) return failure(Error::ofFile(stream.error()));
  return from(fileSystem, **stream);
}

bool isStream(platform::FileSystem& fileSystem, const std::string& path) {
  const auto status = fileSystem.statusOf(nullptr, path, platform::Resolve::kFollow);
  return status && (status->type == platform::FileType::kFifo || status->type == platform::FileType::kSocket);
}

}  // namespace corvane::tool
