#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/error.h"
#include "platform/file_system.h"

namespace corvane::tool {

class StreamTurns;

// A stream or a block device that the command reads for the plug-in, presented to it as a regular
// file. The plug-in's own file layer refuses both, for any host: a stream could block its caller
// for ever, and a device's status does not tell its size. The command's user named them, as they
// would for sha256sum, so the command lends them.
//
// Nothing is opened until its call comes (open()): a queue of many holds no descriptor, and a
// stream is not opened before the streams named ahead of it are read, so that two names of one
// FIFO each get what its writers wrote in turn, as with sha256sum.
class LentInput {
 public:
  virtual ~LentInput() = default;
  // Opens it for its call; then name() and file() are valid.
  virtual Result<> open() = 0;
  // What the plug-in is called with: /proc/self/fd/N of a descriptor held as long as this lives,
  // that leads to the very stream, copy or device, so no other file can be meant by it.
  virtual const std::string& name() const = 0;
  virtual const platform::File& file() const = 0;
  // The bytes read so far: a stream's whole size once it has been hashed.
  virtual std::uint64_t bytesRead() const = 0;
};

// How a stream is read: kept whole first (a fingerprint needs the size before it reads), or lent
// to the plug-in as it arrives (a hash reads front to back, so nothing need be kept).
enum class StreamUse { kKeepWhole, kAsItArrives };

// A stream: `path` (none: standard input). Lent as it arrives, it is presented as a file of untold
// size (0), as a pseudo-file is, read front to back; a read at any other offset fails. Kept whole,
// it is read into a spool (see Spool) and the copy is lent. Streams of one listing are read one
// after another, in the order listed (`turns`), since two of them may be one pipe.
std::shared_ptr<LentInput> streamInput(platform::FileSystem& fileSystem, std::optional<std::string> path, StreamUse use,
                                       const std::shared_ptr<StreamTurns>& turns);
// A block device read whole, its size from the device; one that ends before that size, or whose
// size moves while it is read, gives no digest.
std::shared_ptr<LentInput> blockDeviceInput(platform::FileSystem& fileSystem, std::string path);

// Hands out turns to read, in the order they were taken.
std::shared_ptr<StreamTurns> streamTurns();

}  // namespace corvane::tool
