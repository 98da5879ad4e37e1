#include "spool.h"

namespace corvane::tool {

std::optional<Spool> Spool::from(platform::Stream& stream, std::string& error) {
  auto copy = platform::posixFileSystem()->memoryFileFrom(stream);
  if (!copy) {
    error = copy.error().description();
    return std::nullopt;
  }
  return Spool(std::move(*copy));
}

std::optional<Spool> Spool::fromStandardInput(std::string& error) {
  const auto input = platform::posixFileSystem()->standardInput();
  return from(*input, error);
}

std::optional<Spool> Spool::fromPath(const std::string& path, std::string& error) {
  auto stream = platform::posixFileSystem()->openStream(path);
  if (!stream) {
    error = stream.error().description();
    return std::nullopt;
  }
  return from(**stream, error);
}

bool isStream(const std::string& path) {
  const auto status = platform::posixFileSystem()->statusOf(nullptr, path, platform::Resolve::kFollow);
  return status && (status->type == platform::FileType::kFifo || status->type == platform::FileType::kSocket);
}

}  // namespace corvane::tool
