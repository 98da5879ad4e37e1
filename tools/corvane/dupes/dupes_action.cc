#include "dupes/dupes_action.h"

#include <algorithm>
#include <cerrno>

#include "dupes/act_guards.h"
#include "dupes/byte_compare.h"
#include "dupes/file_changes.h"
#include "dupes/held_file.h"

namespace corvane::tool {
namespace {

using platform::FileStatus;
using platform::FileType;

constexpr std::size_t kCompareChunk = 1 << 20;

// Found again as seen: the same file, of the same size and modification time. Its change time is
// left out on purpose: linking a copy to the kept file moves the kept file's.
bool asSeen(const FileStatus& now, const FileStatus& seen) {
  return now.type == FileType::kRegular && now.sameFileAs(seen) && now.size == seen.size &&
         now.modifiedNs == seen.modifiedNs;
}

std::string whyNotAsSeen(const FileStatus& now, const FileStatus& seen) {
  if (now.type != FileType::kRegular) return "no longer a regular file";
  if (!now.sameFileAs(seen)) return "another file than the one seen (its device or inode differs)";
  if (now.size != seen.size) return "its size changed since it was seen";
  return "its modification time changed since it was seen";
}

// A name's folder and last part; none when the last part names no file.
std::optional<std::pair<std::string, std::string>> split(std::string_view name) {
  const auto slash = name.rfind('/');
  std::pair<std::string, std::string> parts =
      slash == std::string_view::npos
          ? std::pair<std::string, std::string>{".", std::string(name)}
          : std::pair<std::string, std::string>{slash == 0 ? "/" : std::string(name.substr(0, slash)),
                                                std::string(name.substr(slash + 1))};
  if (parts.second.empty() || parts.second == "." || parts.second == "..") return std::nullopt;
  return parts;
}

std::string openingTrouble(const platform::FileError& error) {
  if (error.reason == platform::FileError::Reason::kSystem && error.code == ELOOP) return "is a symbolic link now";
  return error.description();
}

}  // namespace

// A file held by its folder and its descriptor, with its status when held.
struct DuplicateActor::Held {
  std::unique_ptr<platform::Directory> folder;
  std::string last;
  std::unique_ptr<HeldFile> file;
  FileStatus status;
};

void DuplicateActor::act(const ActionGroup& group, const KeepChoice& choice) {
  const auto& kept = group.members[choice.kept];
  for (std::size_t i = 0; i < group.members.size(); ++i) {
    if (i == choice.kept) continue;
    if (log_.broken()) return;  // nothing more is done that could not be told
    const auto& member = group.members[i];
    ActionRecord record{settings_.action, member.name, kept.name, Outcome::kKeptIn, {}, 0};
    if (choice.untouchable[i]) {
      record.reason = "below a --keep-in folder";
    } else if (group.probable) {
      record.outcome = Outcome::kRefused;
      record.reason = "only a probable copy (its sampled fingerprint matched), never confirmed";
    } else if (member.seen.sameFileAs(kept.seen)) {
      record.outcome = Outcome::kSameFile;
      record.reason = "already the kept file (a hard link of it)";
    } else {
      actOn(group, kept, member);
      continue;
    }
    log_.record(record);
  }
}

void DuplicateActor::actOn(const ActionGroup& group, const SeenMember& kept, const SeenMember& duplicate) {
  ActionRecord record{settings_.action, duplicate.name, kept.name, Outcome::kRefused, {}, 0};
  // Opens a member by its folder, held open; the reason when it cannot be found as seen.
  const auto hold = [&](const SeenMember& member, Held& held, bool asWasSeen) -> std::optional<std::string> {
    const auto parts = split(member.name);
    if (!parts) return "names no file";
    auto folder =
        files_->openDirectory(root_, parts->first, root_ ? platform::Resolve::kBeneath : platform::Resolve::kNoFollow);
    if (!folder) {
      const auto status = files_->statusOf(root_, parts->first, platform::Resolve::kNoFollow);
      if (status && status->type == FileType::kSymbolicLink) return "its folder is a symbolic link now";
      if (root_ && folder.error().code == EXDEV) return "its folder lies outside the library";
      return "its folder cannot be opened: " + openingTrouble(folder.error());
    }
    auto file = HeldFile::open((*folder)->descriptor(), parts->second);
    if (!file) return openingTrouble(file.error());
    const auto status = (*file)->status();
    if (!status) return status.error().description();
    if (asWasSeen && !asSeen(*status, member.seen)) return whyNotAsSeen(*status, member.seen);
    held = {std::move(*folder), parts->second, std::move(*file), *status};
    return std::nullopt;
  };
  // The kept file first: no copy is touched unless it is there, unchanged.
  Held keptFile, duplicateFile;
  if (const auto why = hold(kept, keptFile, true)) {
    record.reason = "the kept file cannot be relied on: " + *why;
  } else if (const auto trouble = hold(duplicate, duplicateFile, false)) {
    record.reason = *trouble;
  } else if (duplicateFile.status.sameFileAs(keptFile.status)) {
    // Linked already, by an earlier run of the same report, say.
    record.outcome = Outcome::kSameFile;
    record.reason = "already the kept file (a hard link of it)";
  } else if (!asSeen(duplicateFile.status, duplicate.seen)) {
    record.reason = whyNotAsSeen(duplicateFile.status, duplicate.seen);
  } else if (duplicateFile.status.size != group.size || keptFile.status.size != group.size) {
    record.reason = "not of the group's size";
  } else {
    record.outcome = finish(keptFile, duplicateFile, record.reason, record.bytes);
  }
  log_.record(record);
}

Outcome DuplicateActor::finish(const Held& kept, const Held& duplicate, std::string& reason, std::uint64_t& bytes) {
  const auto size = duplicate.status.size;
  if (duplicate.status.device != kept.status.device) {
    reason = settings_.action == DupesAction::kLink      ? "on another file system than the kept file: a hard link "
                                                           "cannot cross"
             : settings_.action == DupesAction::kReflink ? "on another file system than the kept file: extents "
                                                           "cannot be shared across"
                                                         : "";
    if (!reason.empty()) return Outcome::kRefused;
    if (const auto why = keptMayBeThisFile(kept.file->descriptor())) {
      reason = *why;
      return Outcome::kRefused;
    }
  }
  if (settings_.action == DupesAction::kLink) {
    if (const auto why = ownershipDiffers(kept.file->descriptor(), duplicate.file->descriptor())) {
      reason = *why;
      return Outcome::kRefused;
    }
  }
  const bool reflink = settings_.action == DupesAction::kReflink;
  const auto already = reflink ? bytesAlreadyShared(kept.file->descriptor(), duplicate.file->descriptor()) : 0;
  // A hole shares nothing: no more can be shared than the duplicate holds on the disk.
  const auto shareable = reflink ? std::min(size, allocatedBytes(duplicate.file->descriptor())) : 0;
  if (reflink && size != 0 && already >= shareable) {
    reason = "already shares all its extents with the kept file";
    return Outcome::kSameFile;
  }
  // Freed when its last name goes; a file of other names stays on the disk.
  const std::uint64_t freed = duplicate.status.links == 1 ? size : 0;
  if (!reflink || settings_.dryRun) {
    // Compared byte by byte just before acting (the kernel does it itself for reflink).
    const auto reopen = [](const Held& held) -> platform::FileResult<std::unique_ptr<platform::File>> {
      auto file = HeldFile::open(held.folder->descriptor(), held.last);
      if (!file) return platform::Unexpected(file.error());
      return std::unique_ptr<platform::File>(std::move(*file));
    };
    std::array<ComparedFile, 2> files{ComparedFile{reopen(kept), kept.status},
                                      ComparedFile{reopen(duplicate), duplicate.status}};
    const auto comparison = compareInStep(files, kCompareChunk, {});
    if (!comparison.troubles.empty()) {
      const auto& trouble = comparison.troubles.front();
      reason = (trouble.index == 0 ? "the kept file: " : "") + trouble.why;
      return Outcome::kRefused;
    }
    if (comparison.classes.empty()) {
      reason = "its content differs from the kept file's";
      return Outcome::kRefused;
    }
  }
  if (settings_.dryRun) {
    bytes = reflink ? shareable - already : freed;
    return Outcome::kWouldDo;
  }
  // Neither file may have moved since they were compared: the kept one must hold what the
  // duplicate held when the duplicate goes.
  const LastCheck stillSame = [&]() -> std::optional<std::string> {
    const auto keptNow = kept.file->status(), duplicateNow = duplicate.file->status();
    if (!keptNow || !asSeen(*keptNow, kept.status)) return "the kept file changed meanwhile";
    // Still a file a name leads to, by the name it was kept by: not replaced, as an editor saves.
    const auto keptName = statusInFolder(kept.folder->descriptor(), kept.last);
    if (keptNow->links == 0 || !keptName || !keptName->sameFileAs(kept.status)) {
      return "the kept file was replaced or removed meanwhile";
    }
    if (!duplicateNow || !asSeen(*duplicateNow, duplicate.status)) return "it changed meanwhile";
    return openForWriting(duplicate.file->descriptor());
  };
  Change done;
  switch (settings_.action) {
    case DupesAction::kReflink: {
      const auto shared = shareExtents(kept.file->descriptor(), duplicate.file->descriptor(), size);
      if (!shared) {
        reason = shared.error();
        return reason.starts_with("its content differs") ? Outcome::kRefused : Outcome::kFailed;
      }
      // What the kernel says it shared, less what was shared before: nothing is counted twice.
      const auto counted = std::min(*shared, shareable);
      bytes = counted > already ? counted - already : 0;
      return Outcome::kDone;
    }
    case DupesAction::kLink:
      done = replaceWithLink({kept.folder->descriptor(), kept.last}, kept.status,
                             {duplicate.folder->descriptor(), duplicate.last}, duplicate.status, stillSame);
      break;
    case DupesAction::kRemove:
      done = removeName({duplicate.folder->descriptor(), duplicate.last}, duplicate.status, stillSame);
  }
  if (!done) {
    reason = done.error();
    return Outcome::kFailed;
  }
  bytes = freed;
  return Outcome::kDone;
}

}  // namespace corvane::tool
