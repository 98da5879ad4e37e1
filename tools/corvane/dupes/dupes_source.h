#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "photo_library/folder_library.h"
#include "platform/file_system.h"
#include "plugin_host.h"

namespace corvane::tool {

// One name under consideration: a path or an asset identifier, and the status of its file as
// first seen, which every later look must find again.
struct Member {
  std::string name;
  platform::FileStatus status;
  bool fingerprinted = true;  // the channel has a fingerprint for it (a library's images have none)
};

enum class DigestMethod { kFingerprint, kHash };

// What one call through the channel gave for a member.
struct DigestAnswer {
  std::optional<std::string> digest;  // set when the file was read as first seen
  bool changed = false;               // else, when there is no digest: it failed
  std::string why;                    // of a failure
};

// Where the members come from, and how each is digested and opened: files, or a photo
// library's assets. Digests always come from the plug-in's channel.
class DupesSource {
 public:
  virtual ~DupesSource() = default;

  // Every member, in order. `listed` is told the size of each as it is found (for progress),
  // `failed` of names that cannot be looked at.
  virtual std::vector<Member> list(const std::function<void(std::uint64_t size)>& listed,
                                   const std::function<void(std::string_view name, std::string_view why)>& failed) = 0;
  // One call through the channel, checked against the member's first status. Safe to call
  // from several threads at once.
  virtual DigestAnswer digest(const Member& member, DigestMethod method) const = 0;
  // The member's file, opened for comparing.
  virtual platform::FileResult<std::unique_ptr<platform::File>> open(const Member& member) const = 0;
};

struct FileSourceChoices {
  std::vector<std::string> operands;
  bool recursive = false;
  bool followLinks = false;
  bool trace = false;
};

// Files that path operands name, as `corvane hash` walks them. The host must have been started
// with a FileReporter lent as its file observer.
std::unique_ptr<DupesSource> fileSource(const PluginHost& host, FileSourceChoices choices);

// The assets of a photo library, or of one album of it. The host must have been started with
// this library lent to it.
std::unique_ptr<DupesSource> assetSource(const PluginHost& host, std::shared_ptr<photo_library::FolderLibrary> library,
                                         std::optional<std::string> album, bool trace);

}  // namespace corvane::tool
