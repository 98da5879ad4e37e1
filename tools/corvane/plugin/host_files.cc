#include "plugin/host_files.h"

namespace corvane::tool {
namespace {

// What the plug-in opens of a lent file: the file itself, which the lease keeps.
class Borrowed final : public platform::File {
 public:
  explicit Borrowed(const platform::File& file) : file_(file) {}
  platform::FileResult<platform::FileStatus> status() const override { return file_.status(); }
  platform::FileResult<std::size_t> readSome(std::uint64_t offset, std::span<std::uint8_t> buffer) const override {
    return file_.readSome(offset, buffer);
  }
  void adviseSequential() const override { file_.adviseSequential(); }

 private:
  const platform::File& file_;
};

}  // namespace

HostFiles::Lease::Lease(HostFiles& files, std::string name, const platform::File& file)
    : files_(files), name_(std::move(name)) {
  const std::lock_guard lock(files_.mutex_);
  files_.lent_[name_] = &file;
}

HostFiles::Lease::~Lease() {
  const std::lock_guard lock(files_.mutex_);
  files_.lent_.erase(name_);
}

platform::FileResult<std::unique_ptr<platform::File>> HostFiles::openFile(const platform::Directory* base,
                                                                          std::string_view path,
                                                                          platform::Resolve how) {
  if (base == nullptr && how == platform::Resolve::kFollow) {
    const std::lock_guard lock(mutex_);
    if (const auto found = lent_.find(path); found != lent_.end()) {
      return std::unique_ptr<platform::File>(std::make_unique<Borrowed>(*found->second));
    }
  }
  return target().openFile(base, path, how);
}

}  // namespace corvane::tool
