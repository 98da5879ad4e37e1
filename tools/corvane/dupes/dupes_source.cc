#include "dupes_source.h"

#include <unordered_set>

#include "file_report.h"
#include "file_walk.h"
#include "thread_budget.h"

namespace corvane::tool {
namespace {

using platform::FileError;
using platform::FileType;

const std::string* textOf(const host::MethodReply& reply) {
  const auto* value = std::get_if<host::Value>(&reply);
  return value ? value->getIf<std::string>() : nullptr;
}

class FileSource final : public DupesSource {
 public:
  FileSource(const PluginHost& host, FileSourceChoices choices) : host_(host), choices_(std::move(choices)) {}

  std::vector<Member> list(const std::function<void(std::uint64_t)>& listed,
                           const std::function<void(std::string_view, std::string_view)>& failed) override {
    auto& fileSystem = *platform::posixFileSystem();
    const auto jobs = expandPaths(fileSystem, choices_.operands,
                                  {.recursive = choices_.recursive,
                                   .followLinks = choices_.followLinks,
                                   .withStatus = true,
                                   .found = [&](const Job& job) { listed(job.status ? job.status->size : 0); }});
    std::vector<Member> members;
    std::unordered_set<std::string_view> seen;  // a name given twice is one name
    for (const auto& job : jobs) {
      if (job.error) {
        failed(job.name, *job.error);
      } else if (!job.status) {
        // An operand that could not be looked at: ask once more, for the reason.
        const auto status = fileSystem.statusOf(nullptr, job.name, platform::Resolve::kFollow);
        failed(job.name, status ? "cannot be looked at" : status.error().description());
      } else if (job.status->type != FileType::kRegular) {
        failed(job.name, FileError::of(FileError::Reason::kNotRegular, "open", job.name).description());
      } else if (seen.insert(job.name).second) {
        members.push_back({job.name, *job.status, true});
      }
    }
    return members;
  }

  DigestAnswer digest(const Member& member, DigestMethod method) const override {
    // With what the plug-in's own look at the file it read found.
    const auto [reply, report] = callReporting(
        host_, {method == DigestMethod::kHash ? "hashFile" : "fingerprintOfFile", host::Value(member.name)},
        choices_.trace);
    DigestAnswer answer;
    if (const auto* digest = textOf(reply)) {
      if (report.status && report.status->sameVersionAs(member.status)) {
        answer.digest = *digest;
      } else {
        answer.changed = true;
      }
    } else if (report.error && report.error->reason == FileError::Reason::kChanged) {
      answer.changed = true;
    } else {
      answer.why = report.error ? report.error->description() : "cannot be read";
    }
    return answer;
  }

  platform::FileResult<std::unique_ptr<platform::File>> open(const Member& member) const override {
    // By name again: the comparison checks that it is still the file first seen.
    return retryForDescriptor(
        [&] { return platform::posixFileSystem()->openFile(nullptr, member.name, platform::Resolve::kFollow); },
        [](const auto& file) { return !file && noDescriptor(file.error().code); });
  }

 private:
  const PluginHost& host_;
  const FileSourceChoices choices_;
};

class AssetSource final : public DupesSource {
 public:
  AssetSource(const PluginHost& host, std::shared_ptr<photo_library::FolderLibrary> library,
              std::optional<std::string> album, bool trace)
      : host_(host), library_(std::move(library)), album_(std::move(album)), trace_(trace) {}

  std::vector<Member> list(const std::function<void(std::uint64_t)>& listed,
                           const std::function<void(std::string_view, std::string_view)>& failed) override {
    std::vector<Member> members;
    photo_library::FetchResult<photo_library::Asset> assets;
    if (album_) {
      const auto album = library_->fetchAssetCollectionsWithLocalIdentifiers({*album_}).firstObject();
      if (!album) {
        failed(*album_, "no such album in the library");
        return members;
      }
      assets = library_->fetchAssetsInAssetCollection(*album);
    } else {
      assets = library_->fetchAssets();
    }
    assets.enumerateObjectsUsingBlock([&](const photo_library::Asset& asset, std::int64_t, bool*) {
      auto id = asset.localIdentifier();
      const auto file = library_->openAsset(id);
      const auto status =
          file ? (*file)->status() : platform::FileResult<platform::FileStatus>(platform::Unexpected(file.error()));
      if (!status) {
        failed(id, status.error().description());
        return;
      }
      listed(status->size);
      members.push_back({std::move(id), *status, asset.mediaType() == photo_library::MediaType::kVideo});
    });
    return members;
  }

  DigestAnswer digest(const Member& member, DigestMethod method) const override {
    const auto reply = host_.call(
        {method == DigestMethod::kHash ? "hashAsset" : "fingerprintOfVideoAsset", host::Value(member.name)}, trace_);
    // The library reads on a thread of its own, so its file is looked at again afterwards: a
    // change at any time since it was listed shows.
    const auto file = library_->openAsset(member.name);
    const auto after =
        file ? (*file)->status() : platform::FileResult<platform::FileStatus>(platform::Unexpected(file.error()));
    DigestAnswer answer;
    const auto* digest = textOf(reply);
    if (after && !after->sameVersionAs(member.status)) {
      answer.changed = true;
    } else if (digest && after) {
      answer.digest = *digest;
    } else if (!after) {
      answer.why = after.error().description();
    } else {
      answer.why = "its data cannot be read";
    }
    return answer;
  }

  platform::FileResult<std::unique_ptr<platform::File>> open(const Member& member) const override {
    return library_->openAsset(member.name);
  }

 private:
  const PluginHost& host_;
  const std::shared_ptr<photo_library::FolderLibrary> library_;
  const std::optional<std::string> album_;
  const bool trace_;
};

}  // namespace

std::unique_ptr<DupesSource> fileSource(const PluginHost& host, FileSourceChoices choices) {
  return std::make_unique<FileSource>(host, std::move(choices));
}

std::unique_ptr<DupesSource> assetSource(const PluginHost& host, std::shared_ptr<photo_library::FolderLibrary> library,
                                         std::optional<std::string> album, bool trace) {
  return std::make_unique<AssetSource>(host, std::move(library), std::move(album), trace);
}

}  // namespace corvane::tool
