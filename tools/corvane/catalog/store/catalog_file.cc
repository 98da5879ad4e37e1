#include "catalog/store/catalog_file.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "catalog/store/schema.h"
#include "catalog/store/sqlite_connection.h"
#include "platform/file_error.h"

namespace corvane::tool::catalog {
namespace {

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

Result<CatalogFile> examineCatalogFile(platform::FileSystem& fileSystem, const std::string& path) {
  const auto notOurs = [&](const std::string& why) { return failure(Error{path, why + "; it is left as it is"}); };
  auto file = fileSystem.openFile(nullptr, path, platform::Resolve::kFollow);
  if (!file) {
    if (file.error().reason == platform::FileError::Reason::kSystem && file.error().code == ENOENT) {
      return CatalogFile::kMissing;
    }
    return failure(Error::ofFile(file.error(), path));
  }
  const auto status = (*file)->status();
  if (!status) return failure(Error::ofFile(status.error(), path));
  if (status->type != platform::FileType::kRegular) return notOurs("not a regular file, so not a corvane catalog");
  // The database header: the format's text, then (big-endian) the user version at 60 and the
  // application id at 68.
  std::array<std::uint8_t, 100> header{};
  const auto read = platform::readFully(**file, 0, header);
  if (!read) return failure(Error::ofFile(read.error(), path));
  static constexpr char kSqliteHeader[] = "SQLite format 3";  // with its NUL: 16 bytes
  if (*read < header.size() || std::memcmp(header.data(), kSqliteHeader, sizeof kSqliteHeader) != 0) {
    return notOurs("not a corvane catalog (not an SQLite database)");
  }
  if (bigEndian32(&header[68]) != kApplicationId) {
    return notOurs("an SQLite database, but not a corvane catalog");
  }
  if (const auto version = bigEndian32(&header[60]); version > kSchemaVersion) {
    return notOurs("a catalog of a newer corvane (schema " + std::to_string(version) + "; this one knows up to " +
                   std::to_string(kSchemaVersion) + ")");
  }
  return CatalogFile::kCatalog;
}

Result<> createCatalogFile(platform::FileSystem& fileSystem, const std::string& path, Result<> (*build)(Database& db)) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string temporary = folder + "/." + name + ".new-" + std::to_string(::getpid());
  {
    if (fileSystem.statusOf(nullptr, temporary, platform::Resolve::kNoFollow)) {
      return failure(Error{temporary, "in the way of a new catalog"});
    }
    auto db = openSqlite(temporary, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!db) return failure(db.error().within(path + ": cannot create the catalog"));
    if (auto built = build(*db); !built) {
      ::unlink(temporary.c_str());
      return failure(built.error().within(path + ": cannot create the catalog"));
    }
  }  // closed: its journal is folded back into the file
  // A journal left beside a name that holds no catalog belongs to one removed since; SQLite would
  // play it into the new file and damage it.
  if (!fileSystem.statusOf(nullptr, path, platform::Resolve::kNoFollow)) {
    for (const char* suffix : {"-wal", "-shm"}) ::unlink((path + suffix).c_str());
  }
  // link() never replaces what exists, unlike rename(). The file layer only reads, so these
  // calls, on the files SQLite makes, are the only ones beside it.
  const int linked = ::link(temporary.c_str(), path.c_str());
  const int error = errno;
  ::unlink(temporary.c_str());
  if (linked != 0 && error != EEXIST) {
    return failure(
        Error{path + ": cannot create the catalog", platform::FileError::system("link", path, error).description()});
  }
  return {};  // made, or made by someone else meanwhile: the caller examines it again
}

}  // namespace corvane::tool::catalog
