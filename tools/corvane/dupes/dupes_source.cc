#include "dupes/dupes_source.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "inputs/file_walk.h"
#include "plugin/checked_digest.h"
#include "run/descriptor_retry.h"

namespace corvane::tool {
namespace {

using platform::FileError;
using platform::FileType;

// A name given twice (an operand repeated, or one within another) is one name: the first stays.
Members withoutRepeatedNames(Members members) {
  std::vector<std::uint32_t> order(members.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return members.compareNames(a, b) < 0; });
  std::vector<bool> repeated(members.size(), false);
  bool any = false;
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (members.compareNames(order[i], order[i - 1]) == 0) repeated[order[i]] = any = true;
  }
  if (any) members.leaveOut(repeated);
  return members;
}

class FileSource final : public DupesSource {
 public:
  FileSource(const PluginClient& client, std::shared_ptr<platform::FileSystem> fileSystem, FileSourceChoices choices)
      : client_(client), files_(std::move(fileSystem)), choices_(std::move(choices)) {}

  Members list(const std::function<void(std::uint64_t)>& listed,
               const std::function<void(std::string_view, std::string_view)>& failed) override {
    // Taken as the walk finds them, a file at a time, into a list that never doubles its room.
    Members members;
    // A file or folder that failed is told once, however many operands or links lead to it and
    // however they spell it: known by its identity where it has one, else by its name. Failures
    // are few, so each is looked at once more.
    std::set<std::string, std::less<>> failedOnes;
    const auto fail = [&](std::string_view name, std::string_view why) {
      const auto status = files_->statusOf(nullptr, std::string(name), platform::Resolve::kFollow);
      // Appended, not concatenated: GCC 12 warns falsely (-Wrestrict) on the one-liner.
      std::string key(1, status ? '\1' : '\2');
      if (status) {
        key.append(std::to_string(status->device)).append(":").append(std::to_string(status->inode));
      } else {
        key.append(name);
      }
      if (failedOnes.insert(std::move(key)).second) failed(name, why);
    };
    walkPaths(*files_, choices_.operands,
              {.recursive = choices_.recursive,
               .followLinks = choices_.followLinks,
               .withStatus = true,
               .found = [&](const SeenFile& file) { listed(file.status ? file.status->size : 0); },
               .ownFiles = true,
               .exclusions = choices_.exclusions,
               .oneFileSystem = choices_.oneFileSystem},
              [&](SeenFile&& file) {
                if (file.error) {
                  fail(file.path, *file.error);
                } else if (!file.status) {
                  // An operand that could not be looked at: ask once more, for the reason.
                  const auto status = files_->statusOf(nullptr, file.path, platform::Resolve::kFollow);
                  fail(file.path, status ? "cannot be looked at" : status.error().description());
                } else if (file.status->type != FileType::kRegular) {
                  fail(file.path, FileError::of(FileError::Reason::kNotRegular, "open", file.path).description());
                } else {
                  members.add(file.path, *file.status);
                }
                return true;
              });
    // One operand's walk names each file once.
    if (choices_.operands.size() > 1) return withoutRepeatedNames(std::move(members));
    return members;
  }

  Result<std::string> digest(const Member& member, DigestKind kind) const override {
    auto answer = digestOfSeenFile(client_, *files_, kind, {std::string(member.name), std::nullopt, member.status},
                                   Match::kSameVersion);
    if (!answer) return failure(answer.error());
    return std::move(answer->digest);
  }

  platform::FileResult<std::unique_ptr<platform::File>> open(const Member& member) const override {
    // By name again: the comparison checks that it is still the file first seen.
    return retryForDescriptor([&] { return files_->openFile(nullptr, member.name, platform::Resolve::kFollow); },
                              [](const auto& file) { return !file && noDescriptor(file.error().code); });
  }

 private:
  const PluginClient& client_;
  const std::shared_ptr<platform::FileSystem> files_;
  const FileSourceChoices choices_;
};

class AssetSource final : public DupesSource {
 public:
  AssetSource(const PluginClient& client, PhotoFolder library, std::optional<std::string> album)
      : client_(client), library_(std::move(library)), album_(std::move(album)) {}

  Members list(const std::function<void(std::uint64_t)>& listed,
               const std::function<void(std::string_view, std::string_view)>& failed) override {
    Members members;
    const auto listing = library_.forEachAsset(album_, [&](const LibraryAsset& asset) {
      const auto status = library_.assetStatus(asset.identifier);
      if (!status) {
        failed(asset.identifier, status.error().description());
        return true;
      }
      listed(status->size);
      members.add(asset.identifier, *status, asset.type == photo_library::MediaType::kVideo);
      return true;
    });
    if (!listing) failed(listing.error().attempted, listing.error().why);
    return members;
  }

  Result<std::string> digest(const Member& member, DigestKind kind) const override {
    auto digest = client_.digestOfAsset(kind, member.name);
    // The library reads on a thread of its own, so its file is looked at again afterwards: a
    // change at any time since it was listed shows.
    const auto after = library_.assetStatus(member.name);
    if (after && !after->sameVersionAs(member.status)) return failure("changed", Error::Kind::kChanged);
    if (!after) return failure(after.error().description());
    if (!digest) return failure("its data cannot be read");
    return digest;
  }

  platform::FileResult<std::unique_ptr<platform::File>> open(const Member& member) const override {
    return library_.openAsset(member.name);
  }

 private:
  const PluginClient& client_;
  const PhotoFolder library_;
  const std::optional<std::string> album_;
};

}  // namespace

std::unique_ptr<DupesSource> fileSource(const PluginClient& client, std::shared_ptr<platform::FileSystem> fileSystem,
                                        FileSourceChoices choices) {
  return std::make_unique<FileSource>(client, std::move(fileSystem), std::move(choices));
}

std::unique_ptr<DupesSource> assetSource(const PluginClient& client, PhotoFolder library,
                                         std::optional<std::string> album) {
  return std::make_unique<AssetSource>(client, std::move(library), std::move(album));
}

}  // namespace corvane::tool
