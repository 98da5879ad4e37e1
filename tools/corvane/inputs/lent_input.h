#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cli/error.h"
#include "platform/file_system.h"

namespace corvane::tool {

class StreamTurns;

// A stream or a block device that the command reads for the plug-in, presented to it as a regular
// file. The plug-in's own file layer refuses both, for any host: a stream could block its caller
// for ever, and a device's status does not tell its size. The command's user named them, as they
// would for sha256sum, so the command lends them.
class LentInput {
 public:
  virtual ~LentInput() = default;
  // What the plug-in is called with: /proc/self/fd/N of a descriptor held as long as this lives,
  // that leads to the very stream or device, so no other file can be meant by it.
  virtual const std::string& name() const = 0;
  virtual const platform::File& file() const = 0;
  // The bytes read so far: a stream's whole size once it has been hashed.
  virtual std::uint64_t bytesRead() const = 0;
};

// A stream hashed as it arrives, front to back, without being kept: the plug-in's file reads
// it in order, and the file's stated size (0) does not tell its content, as a pseudo-file's does
// not. A read at any other offset than the next fails. Streams of one listing are read one after
// another, in the order listed (`turns`), since two of them may be one pipe (`-` and /dev/stdin).
Result<std::shared_ptr<LentInput>> lendStream(platform::FileSystem& fileSystem, const std::string& path,
                                              std::unique_ptr<platform::Stream> stream,
                                              const std::shared_ptr<StreamTurns>& turns);
// A block device (opened with openBlockDevice) read whole, its size from the device; one that ends
// before that size gives no digest.
Result<std::shared_ptr<LentInput>> lendBlockDevice(platform::FileSystem& fileSystem, const std::string& path,
                                                   std::unique_ptr<platform::File> device);

// Hands out turns to read, in the order they were taken.
std::shared_ptr<StreamTurns> streamTurns();

}  // namespace corvane::tool
