#include "file_walk.h"

#include "platform/tree_walk.h"

namespace corvane::tool {
namespace {

using platform::FileType;

void walkFolder(platform::FileSystem& fileSystem, const std::string& operand, const WalkChoices& choices,
                std::vector<Job>& jobs) {
  const std::string prefix = operand.ends_with('/') ? operand : operand + "/";
  const auto pathOf = [&](std::string_view relative) {
    return relative.empty() ? operand : prefix + std::string(relative);
  };
  const auto folder = fileSystem.openDirectory(nullptr, operand, platform::Resolve::kFollow);
  if (!folder) {
    jobs.push_back({operand, folder.error().description(), std::nullopt});
    return;
  }
  const platform::WalkOptions options{.followLinks = choices.followLinks,
                                      .order = platform::WalkOptions::Order::kWholePaths};
  platform::walkTree(fileSystem, **folder, options,
                     {[&](const platform::WalkEntry& entry) {
                        if (entry.type != FileType::kRegular) return entry.type == FileType::kDirectory;
                        Job job{pathOf(entry.path), std::nullopt, std::nullopt};
                        if (choices.withStatus) {
                          const auto status = fileSystem.statusOf(
                              &entry.folder, entry.name, entry.viaLink ? platform::Resolve::kFollow : platform::Resolve::kNoFollow);
                          // Gone since the listing, or swapped for something else: not a file any more.
                          if (!status || status->type != FileType::kRegular) return false;
                          job.status = *status;
                        }
                        if (choices.found) choices.found(job);
                        jobs.push_back(std::move(job));
                        return false;
                      },
                      [&](std::string_view path, const platform::FileError& error) {
                        jobs.push_back({pathOf(path), error.description(), std::nullopt});
                      }});
}

}  // namespace

std::vector<Job> expandPaths(platform::FileSystem& fileSystem, const std::vector<std::string>& operands,
                             const WalkChoices& choices) {
  std::vector<Job> jobs;
  for (const auto& operand : operands) {
    const auto status = fileSystem.statusOf(nullptr, operand, platform::Resolve::kFollow);
    if (!status || status->type != FileType::kDirectory) {
      jobs.push_back({operand, std::nullopt, choices.withStatus && status ? std::optional(*status) : std::nullopt});
    } else if (choices.recursive) {
      walkFolder(fileSystem, operand, choices, jobs);
    } else {
      jobs.push_back({operand, "Is a directory", std::nullopt});
    }
  }
  return jobs;
}

}  // namespace corvane::tool
