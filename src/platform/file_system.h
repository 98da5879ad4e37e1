#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/descriptor_closer.h"
#include "platform/expected.h"
#include "platform/file_error.h"
#include "platform/file_status.h"

namespace corvane::platform {

template <typename T>
using FileResult = Expected<T, FileError>;

// A file open for reading. Everything about it comes from this one open file: its status, and
// bytes read by position, so that what is measured and what is read cannot be two files.
class File {
 public:
  virtual ~File() = default;

  virtual FileResult<FileStatus> status() const = 0;
  // One read of at most `buffer.size()` bytes at `offset` (retried if interrupted): the count
  // read, 0 at the end of the file.
  virtual FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const = 0;
  // Tells the system the file will be read once, front to back.
  virtual void adviseSequential() const = 0;
};

// Reads at `offset` until `buffer` is full or the file ends: the count read.
FileResult<std::size_t> readFully(const File& file, std::uint64_t offset, std::span<std::uint8_t> buffer);

struct DirectoryEntry {
  std::string name;
  FileType type;  // of the entry itself: a link is kSymbolicLink, whatever it leads to
  // Its inode number as the listing gives it, where the folder's file system is known to give
  // the number a status of the entry gives; else 0.
  std::uint64_t inode = 0;
};

// A folder open for listing and for opening what lies in it.
class Directory {
 public:
  virtual ~Directory() = default;

  virtual FileResult<FileStatus> status() const = 0;
  // Every entry but "." and "..", in the system's order.
  virtual FileResult<std::vector<DirectoryEntry>> entries() const = 0;
  // The descriptor that paths relative to this folder start from.
  virtual int descriptor() const = 0;
};

// Bytes read front to back, as they come: standard input, a FIFO, a socket.
class Stream {
 public:
  virtual ~Stream() = default;
  // Waits for bytes; the count read, 0 at the end.
  virtual FileResult<std::size_t> read(std::span<std::uint8_t> buffer) = 0;
  // Asks for a larger buffer between writer and reader, when the stream is a pipe, so that a
  // fast writer and reader meet less often.
  virtual void widen() {}
};

// A stream's bytes kept as a file, for bytes that have no file of their own: opened by its path
// like any other file for as long as it lives, each open reading it from the start.
class SpooledFile {
 public:
  virtual ~SpooledFile() = default;
  virtual const std::string& path() const = 0;
  virtual std::uint64_t size() const = 0;
};

// Where a stream is kept: in memory up to `memoryLimit` bytes, past that in a file in `folder`
// that no name leads to, so that it goes with the process however the process ends.
struct SpoolPlace {
  std::uint64_t memoryLimit = 64 << 20;
  std::string folder = "/tmp";
};

// How a path is resolved.
enum class Resolve {
  kFollow,          // as given, links followed, from the base folder (or the working folder)
  kNoFollow,        // as kFollow, but a link in the last place is not followed: opening one fails
  kBeneath,         // the kernel keeps the whole resolution below the base folder: an absolute path,
                    // ".." above it, a link that leads out and the /proc magic links all fail
  kBeneathNoLinks,  // as kBeneath, and no link anywhere on the way is followed
};

// A file held by the system without being opened for reading (so a FIFO or a device feels
// nothing), named by a path that leads to this very file, whatever its name leads to since,
// for as long as it is held.
class PinnedFile {
 public:
  virtual ~PinnedFile() = default;
  virtual const std::string& path() const = 0;
};

// The one way into the file system. Paths are byte strings used as given; one that holds a NUL
// byte names no file. `base` is the folder relative paths start from (none: the working folder).
// Implementations never throw.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens a file for reading. Any kind of file opens, a FIFO without waiting for a writer;
  // callers look at status().type before reading.
  virtual FileResult<std::unique_ptr<File>> openFile(const Directory* base, std::string_view path, Resolve how) = 0;
  virtual FileResult<std::unique_ptr<Directory>> openDirectory(const Directory* base, std::string_view path,
                                                               Resolve how) = 0;
  // Holds what a path names (see PinnedFile).
  virtual FileResult<std::unique_ptr<PinnedFile>> pin(const Directory* base, std::string_view path, Resolve how) = 0;
  // The status of what a path names, without opening it for reading.
  virtual FileResult<FileStatus> statusOf(const Directory* base, std::string_view path, Resolve how) = 0;
  // Opens for reading front to back, waiting as a reader of a FIFO does.
  virtual FileResult<std::unique_ptr<Stream>> openStream(std::string_view path) = 0;
  // The process's standard input, which stays open when the stream goes.
  virtual std::unique_ptr<Stream> standardInput() = 0;
  // A file holding what the stream gives, to its end, kept where `place` says.
  virtual FileResult<std::unique_ptr<SpooledFile>> spool(Stream& stream, const SpoolPlace& place) = 0;
  // Opens a block device for reading: its status is the device node's, with the size of the
  // device itself; anything else fails with ENOTBLK.
  virtual FileResult<std::unique_ptr<File>> openBlockDevice(std::string_view path) = 0;
  // The absolute path of what a path names, with every link, "." and ".." resolved.
  virtual FileResult<std::string> canonicalPath(std::string_view path) = 0;
};

// The content of a small regular file (a setting, say), at most `limit` bytes of it.
FileResult<std::string> readSmallFile(FileSystem& fileSystem, std::string_view path, std::size_t limit = 1 << 16);

// The operating system's file system: a process-wide default, safe to use from any thread.
std::shared_ptr<FileSystem> posixFileSystem();

// The operating system's file system, whose files opened for reading hand their descriptors to
// `closer` when they go.
std::shared_ptr<FileSystem> posixFileSystem(std::shared_ptr<DescriptorCloser> closer);

}  // namespace corvane::platform
