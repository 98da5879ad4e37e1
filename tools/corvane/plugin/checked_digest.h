#pragma once

#include "cli/error.h"
#include "inputs/file_walk.h"
#include "platform/file_system.h"
#include "plugin/digest_kind.h"
#include "plugin/plugin_client.h"

namespace corvane::tool {

// How closely the file the plug-in read must match the file the command first saw.
enum class Match {
  kSameFile,     // the same file (device and inode): its path has not led elsewhere since
  kSameVersion,  // and nothing in it has moved: its size, modification and change times as seen
};

// The digest of the file the command saw at `seen`, or why not. A file met in a walk whose path is
// too long to name (or that was not looked at, or must stay below it) is reached from its walked
// folder, held open, with no link followed on the way; any other is asked for by its path. The
// answer is kept only if the plug-in read the file seen: a folder swapped for a link since
// cannot pass off another file's digest. A file that was not looked at is taken as the plug-in
// finds it.
Result<FileDigest> digestOfSeenFile(const PluginClient& client, platform::FileSystem& fileSystem, DigestKind kind,
                                    const SeenFile& seen, Match match);

}  // namespace corvane::tool
