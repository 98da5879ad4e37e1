// The folder library's identifier resolution: whatever the identifier, what it opens is a file
// inside the library's root, and links that lead out name nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "photo_library/folder_library.h"

using namespace corvane;

namespace {

struct Fixture {
  std::string base;
  std::shared_ptr<photo_library::FolderLibrary> library;
  std::set<std::pair<std::uint64_t, std::uint64_t>> inside;  // device and inode of every file and folder below the root

  Fixture() {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/corvane-fuzz-XXXXXX";
    base = ::mkdtemp(pattern);
    for (const char* folder : {"/lib/A/B", "/lib/.hidden", "/lib/C D"}) fs::create_directories(base + folder);
    for (const char* file : {"/secret.jpg", "/lib/a.jpg", "/lib/A/b.mov", "/lib/A/B/c.png", "/lib/.hidden/d.jpg",
                             "/lib/C D/e f.heic", "/lib/A/notes.txt"}) {
      std::ofstream(base + file) << file;
    }
    fs::create_symlink(base + "/secret.jpg", base + "/lib/A/out.jpg");
    fs::create_symlink(base, base + "/lib/up");
    fs::create_symlink("../a.jpg", base + "/lib/A/in.jpg");
    fs::create_symlink(base + "/lib/A/b.mov", base + "/lib/C D/abs.mov");
    fs::create_symlink("/proc/self/cwd", base + "/lib/magic");
    for (const auto& entry : fs::recursive_directory_iterator(base + "/lib")) {
      struct stat s {};
      if (::lstat(entry.path().c_str(), &s) == 0 && !S_ISLNK(s.st_mode)) inside.emplace(s.st_dev, s.st_ino);
    }
    auto opened = photo_library::FolderLibrary::open(base + "/lib", platform::posixFileSystem(), 1);
    if (!opened) std::abort();
    library = *opened;
  }
  ~Fixture() {
    library.reset();
    std::filesystem::remove_all(base);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  const std::string identifier(reinterpret_cast<const char*>(data), size);
  if (const auto file = fixture.library->openAsset(identifier)) {
    const auto status = (*file)->status();
    if (!status || !fixture.inside.contains({status->device, status->inode})) std::abort();
  }
  const auto assets = fixture.library->fetchAssetsWithLocalIdentifiers({identifier});
  if (assets.count() > 1) std::abort();
  if (const auto asset = assets.firstObject()) {
    if (asset->localIdentifier() != identifier || !fixture.library->openAsset(identifier)) std::abort();
  }
  if (fixture.library->fetchAssetCollectionsWithLocalIdentifiers({identifier}).count() > 1) std::abort();
  return 0;
}
