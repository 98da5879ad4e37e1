// The folder library's identifier resolution: whatever the identifier, what it names lies
// inside the library's root, and links that lead out name nothing.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "photo_library/folder_library.h"

using namespace corvane;

namespace {

struct Fixture {
  std::string base;
  std::string root;
  std::shared_ptr<photo_library::FolderLibrary> library;

  Fixture() {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/corvane-fuzz-XXXXXX";
    base = ::mkdtemp(pattern);
    root = fs::canonical(base).string() + "/lib";
    for (const char* folder : {"/lib/A/B", "/lib/.hidden", "/lib/C D"}) fs::create_directories(base + folder);
    for (const char* file : {"/secret.jpg", "/lib/a.jpg", "/lib/A/b.mov", "/lib/A/B/c.png", "/lib/.hidden/d.jpg",
                             "/lib/C D/e f.heic", "/lib/A/notes.txt"}) {
      std::ofstream(base + file) << file;
    }
    fs::create_symlink(base + "/secret.jpg", base + "/lib/A/out.jpg");
    fs::create_symlink(base, base + "/lib/up");
    fs::create_symlink("../a.jpg", base + "/lib/A/in.jpg");
    std::string error;
    library = photo_library::FolderLibrary::open(root, error, 1);
    if (!library) std::abort();
  }
  ~Fixture() {
    library.reset();
    std::filesystem::remove_all(base);
  }
};

bool inside(const std::optional<std::string>& path, const std::string& root) {
  return !path || (path->starts_with(root + "/") && std::filesystem::canonical(*path).string().starts_with(root + "/"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  const std::string identifier(reinterpret_cast<const char*>(data), size);
  if (!inside(fixture.library->assetPath(identifier), fixture.root)) std::abort();
  if (!inside(fixture.library->albumPath(identifier), fixture.root)) std::abort();
  const auto assets = fixture.library->fetchAssetsWithLocalIdentifiers({identifier});
  if (assets.count() > 1) std::abort();
  if (const auto asset = assets.firstObject()) {
    if (asset->localIdentifier() != identifier || !fixture.library->assetPath(identifier)) std::abort();
  }
  return 0;
}
