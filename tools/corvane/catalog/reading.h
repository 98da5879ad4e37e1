#pragma once

#include <memory>
#include <optional>
#include <string>

#include "catalog/store/entry.h"
#include "cli/context.h"
#include "inputs/file_walk.h"
#include "inputs/photo_folder.h"
#include "platform/file_system.h"
#include "plugin/plugin_client.h"
#include "text/progress.h"

namespace corvane::tool::catalog {

// The plug-in started for reading files or assets: lent the library if there is one, showing
// its own lines only with -v (above the progress display).
Result<std::unique_ptr<PluginClient>> startReader(const Context& context, Progress& progress,
                                                  const PhotoFolder* library);

// The digests an entry must have.
struct Needs {
  bool fingerprint;
  bool sha256;
};

inline bool complete(const Entry& entry, const Needs& needs) {
  return (!needs.fingerprint || entry.fingerprint) && (!needs.sha256 || entry.sha256);
}

// An entry read through the channel (its path left for the caller), or why there is none.
struct Outcome {
  std::optional<Entry> entry;
  std::string error;
};

// A file's digests through the file methods, recorded with the status the plug-in's own file
// layer saw while it read. Digests of two versions of the file are refused, and so are digests
// of another file than `seen.status` (the file a walk saw: a folder on the path swapped for a
// link since would lead elsewhere).
Outcome readFile(const PluginClient& client, platform::FileSystem& fileSystem, SeenFile seen, const Needs& needs);

// An asset's digests through the library operations. The library reads on threads of its own,
// so the status of the asset's file is taken before and after: the digests count only if it
// did not move between.
Outcome readAsset(const PluginClient& client, const PhotoFolder& library, const std::string& identifier,
                  const Needs& needs);

}  // namespace corvane::tool::catalog
