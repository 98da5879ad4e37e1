#pragma once

#include <optional>
#include <string>

#include "catalog/entry.h"
#include "options.h"
#include "photo_library/folder_library.h"
#include "plugin_host.h"
#include "progress.h"

namespace corvane::tool::catalog {

// The plug-in started for reading files or assets: it tells what it read (a FileReporter), is
// lent the library if there is one, and shows its own lines only with -v. None, with `error`
// said, when it cannot be started.
std::unique_ptr<PluginHost> startReader(const CommonOptions& common, Progress& progress,
                                        const photo_library::FolderLibrary* library, std::string& error);

// The digests an entry must have.
struct Needs {
  bool fingerprint;
  bool sha256;
};

inline bool complete(const Entry& entry, const Needs& needs) {
  return (!needs.fingerprint || entry.fingerprint) && (!needs.sha256 || entry.sha256);
}

// The same version of one file: nothing that a change of content would move has moved.
inline bool sameVersion(const platform::FileStatus& a, const platform::FileStatus& b) {
  return a.sameVersionAs(b) && a.changedNs == b.changedNs;
}

// An entry read through the channel (its path left for the caller), or why there is none.
struct Outcome {
  std::optional<Entry> entry;
  std::string error;
};

// A file's digests through the file methods, recorded with the status the plug-in's own file
// layer saw while it read (needs the host's FileReporter). Digests of two versions of the file
// are refused, and so are digests of another file than `listed` (the file a walk saw: a folder
// on the path swapped for a link since would lead elsewhere).
Outcome readFile(const PluginHost& host, const std::string& location, const Needs& needs, bool trace,
                 const platform::FileStatus* listed = nullptr);

// An asset's digests through the library operations. The library reads on threads of its own,
// so the status of the asset's file is taken before and after: the digests count only if it
// did not move between.
Outcome readAsset(const PluginHost& host, const photo_library::FolderLibrary& library, const std::string& identifier,
                  const Needs& needs, bool trace);

platform::FileResult<platform::FileStatus> assetStatus(const photo_library::FolderLibrary& library,
                                                       const std::string& identifier);

}  // namespace corvane::tool::catalog
