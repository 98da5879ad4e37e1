#include "dupes/keep_choice.h"

#include "text/escape.h"

namespace corvane::tool {
namespace {

// The folder part of a name and its last part.
std::pair<std::string, std::string> split(std::string_view name) {
  const auto slash = name.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(name)};
  return {slash == 0 ? "/" : std::string(name.substr(0, slash)), std::string(name.substr(slash + 1))};
}

bool below(std::string_view path, std::string_view folder) {
  if (folder == "/") return true;
  return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

// Whether a is kept over b by the rule (ties: neither).
bool better(const SeenMember& a, const SeenMember& b, KeepRule rule) {
  switch (rule) {
    case KeepRule::kOldest: return a.seen.modifiedNs < b.seen.modifiedNs;
    case KeepRule::kNewest: return a.seen.modifiedNs > b.seen.modifiedNs;
    case KeepRule::kShortest: return a.name.size() < b.name.size();
    default: return false;
  }
}

}  // namespace

std::optional<KeepRule> keepRuleNamed(std::string_view word) {
  if (word == "first") return KeepRule::kFirst;
  if (word == "oldest") return KeepRule::kOldest;
  if (word == "newest") return KeepRule::kNewest;
  if (word == "shortest") return KeepRule::kShortest;
  return std::nullopt;
}

Result<KeepInFolders> KeepInFolders::resolve(std::shared_ptr<platform::FileSystem> fileSystem,
                                             const std::vector<std::string>& folders, std::string base) {
  KeepInFolders keepIn;
  keepIn.files_ = std::move(fileSystem);
  keepIn.base_ = std::move(base);
  for (const auto& folder : folders) {
    const auto status = keepIn.files_->statusOf(nullptr, folder, platform::Resolve::kFollow);
    if (!status) return failure(Error::ofFile(status.error()).within("--keep-in"));
    if (status->type != platform::FileType::kDirectory) {
      return failure(Error{"--keep-in", quoteName(folder) + " is not a folder"});
    }
    auto path = keepIn.files_->canonicalPath(folder);
    if (!path) return failure(Error::ofFile(path.error()).within("--keep-in"));
    keepIn.folders_.push_back(std::move(*path));
  }
  return keepIn;
}

bool KeepInFolders::holds(std::string_view name) const {
  if (folders_.empty()) return false;
  const std::string full = base_.empty() || name.starts_with('/') ? std::string(name) : base_ + "/" + std::string(name);
  const auto [folder, last] = split(full);
  const auto resolved = files_->canonicalPath(folder);
  if (!resolved) return true;
  const std::string path = *resolved == "/" ? "/" + last : *resolved + "/" + last;
  for (const auto& keep : folders_) {
    if (below(path, keep)) return true;
  }
  return false;
}

KeepChoice chooseKept(const ActionGroup& group, KeepRule rule, const KeepInFolders& keepIn) {
  KeepChoice choice;
  choice.untouchable.resize(group.members.size());
  bool anyUntouchable = false;
  for (std::size_t i = 0; i < group.members.size(); ++i) {
    choice.untouchable[i] = keepIn.holds(group.members[i].name);
    anyUntouchable = anyUntouchable || choice.untouchable[i];
  }
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < group.members.size(); ++i) {
    if (anyUntouchable && !choice.untouchable[i]) continue;
    if (!best || better(group.members[i], group.members[*best], rule)) best = i;
  }
  choice.kept = best.value_or(0);
  return choice;
}

}  // namespace corvane::tool
