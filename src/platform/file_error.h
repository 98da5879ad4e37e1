#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

// Why a file operation failed: what was attempted, on which path, and the system's error number
// (or one of the layer's own reasons), so that whoever reports it has the reason at hand.
struct FileError {
  enum class Reason {
    kSystem,      // `code` holds the errno
    kNotRegular,  // a FIFO, a socket or a device: never read, since it could block or never end
    kChanged,     // size, modification time or identity moved while the file was read
    kPseudoFile,  // a file whose stated size does not tell its content (/proc, /sys)
  };

  std::string operation;  // "open", "read", "status", "list"
  std::string path;
  Reason reason = Reason::kSystem;
  int code = 0;

  static FileError system(std::string_view operation, std::string_view path, int code);
  static FileError of(Reason reason, std::string_view operation, std::string_view path);

  // The reason in words: the system's text for an errno ("No such file or directory"), or ours.
  std::string description() const;
};

}  // namespace corvane::platform
