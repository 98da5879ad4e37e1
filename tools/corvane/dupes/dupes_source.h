#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/error.h"
#include "dupes/members.h"
#include "inputs/exclusions.h"
#include "inputs/photo_folder.h"
#include "platform/file_system.h"
#include "plugin/digest_kind.h"
#include "plugin/plugin_client.h"

namespace corvane::tool {

// Where the members come from, and how each is digested and opened: files, or a photo
// library's assets. Digests always come from the plug-in's channel.
class DupesSource {
 public:
  virtual ~DupesSource() = default;

  // Every member, in order. `listed` is told the size of each as it is found (for progress),
  // `failed` of names that cannot be looked at.
  virtual Members list(const std::function<void(std::uint64_t size)>& listed,
                       const std::function<void(std::string_view name, std::string_view why)>& failed) = 0;
  // One call through the channel, kept only if the member's file was read as first seen (else
  // an error of the kind kChanged). Safe to call from several threads at once.
  virtual Result<std::string> digest(const Member& member, DigestKind kind) const = 0;
  // The member's file, opened for comparing.
  virtual platform::FileResult<std::unique_ptr<platform::File>> open(const Member& member) const = 0;
};

struct FileSourceChoices {
  std::vector<std::string> operands;
  bool recursive = false;  // else a folder stands for the files directly in it
  bool followLinks = false;
  Exclusions exclusions = {};
  bool oneFileSystem = false;
};

// Files that path operands name, as `corvane hash` walks them.
std::unique_ptr<DupesSource> fileSource(const PluginClient& client, std::shared_ptr<platform::FileSystem> fileSystem,
                                        FileSourceChoices choices);

// The assets of a photo library, or of one album of it. The plug-in must have been lent this
// library.
std::unique_ptr<DupesSource> assetSource(const PluginClient& client, PhotoFolder library,
                                         std::optional<std::string> album);

}  // namespace corvane::tool
