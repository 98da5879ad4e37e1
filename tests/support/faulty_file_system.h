#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace corvane::testing {

// Faults to inject into the files whose path contains `marker`.
struct FaultPlan {
  std::string marker = {};
  int openError = 0;                // opening fails with this errno
  std::int64_t failReadsFrom = -1;  // a read reaching this offset fails with EIO
  std::size_t shortReadLimit = 0;   // reads return at most this many bytes
  std::int64_t truncateTo = -1;     // the file really shrinks to this size once its status was taken
  std::size_t growBy = 0;           // or really grows by this many bytes
  bool touchAfterStatus = false;    // or its modification time moves, size kept
  std::int64_t statedSize = -1;     // its status says this size, whatever it holds (a pseudo-file)
  bool tornFirstRead = false;       // the first read of each piece sees other bytes: a write in
                                    // flight that no time stamp shows
};

// The system's file system, with the faults of the current plan injected, in the manner of a
// fault-injecting test environment: what cannot be made to fail with real files (a read that
// fails part-way, no descriptor left) fails here, and changes that race with a read are made
// for real at the moment they hurt.
class FaultyFileSystem final : public platform::FileSystem {
 public:
  void setPlan(FaultPlan plan);
  FaultPlan plan() const;
  // Every file and folder reached so far (opened, pinned or looked at), by device and inode.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reached() const;

  platform::FileResult<std::unique_ptr<platform::File>> openFile(const platform::Directory* base, std::string_view path,
                                                                 platform::Resolve how) override;
  platform::FileResult<std::unique_ptr<platform::Directory>> openDirectory(const platform::Directory* base,
                                                                           std::string_view path,
                                                                           platform::Resolve how) override;
  platform::FileResult<platform::FileStatus> statusOf(const platform::Directory* base, std::string_view path,
                                                      platform::Resolve how) override;
  platform::FileResult<std::unique_ptr<platform::Stream>> openStream(std::string_view path) override {
    return real_->openStream(path);
  }
  std::unique_ptr<platform::Stream> standardInput() override { return real_->standardInput(); }
  platform::FileResult<std::unique_ptr<platform::PinnedFile>> pin(const platform::Directory* base,
                                                                  std::string_view path,
                                                                  platform::Resolve how) override;
  platform::FileResult<std::unique_ptr<platform::SpooledFile>> spool(platform::Stream& stream,
                                                                     const platform::SpoolPlace& place) override {
    return real_->spool(stream, place);
  }
  platform::FileResult<std::unique_ptr<platform::File>> openBlockDevice(std::string_view path) override {
    return real_->openBlockDevice(path);
  }
  platform::FileResult<std::string> canonicalPath(std::string_view path) override;

 private:
  void record(const platform::FileResult<platform::FileStatus>& status);

  const std::shared_ptr<platform::FileSystem> real_ = platform::posixFileSystem();
  mutable std::mutex mutex_;
  FaultPlan plan_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reached_;
};

}  // namespace corvane::testing
