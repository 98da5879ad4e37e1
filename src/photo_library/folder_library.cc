#include "photo_library/folder_library.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

#include "photo_library/file_url.h"
#include "photo_library/plain_items.h"
#include "platform/tree_walk.h"

namespace corvane::photo_library {
namespace {

using platform::FileError;
using platform::FileType;
using platform::Resolve;

bool hidden(std::string_view name) { return name.starts_with('.'); }

std::string_view lastSegment(std::string_view identifier) { return identifier.substr(identifier.rfind('/') + 1); }

// A well-formed identifier: relative, and every segment a plain visible name.
bool wellFormed(std::string_view identifier) {
  if (identifier.empty() || identifier.find('\0') != std::string_view::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const auto end = identifier.find('/', start);
    const auto segment = identifier.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (segment.empty() || hidden(segment)) return false;  // also rules out "." and ".."
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

LibraryError libraryError(const FileError& error) {
  return LibraryError{error.code != 0 ? error.code : EIO, error.description()};
}

std::shared_ptr<const InfoDictionary> info(InfoDictionary entries) {
  return std::make_shared<const InfoDictionary>(std::move(entries));
}

}  // namespace

platform::FileResult<std::shared_ptr<FolderLibrary>> FolderLibrary::open(
    std::string_view root, std::shared_ptr<platform::FileSystem> fileSystem, std::size_t threads) {
  auto folder = fileSystem->openDirectory(nullptr, root, Resolve::kFollow);
  if (!folder) return platform::Unexpected(folder.error());
  // The URLs of videos are absolute; where the library lies is the caller's choice, links and all.
  auto path = fileSystem->canonicalPath(root);
  if (!path) return platform::Unexpected(path.error());
  if (threads == 0) threads = std::max(2u, std::thread::hardware_concurrency());
  return std::make_shared<FolderLibrary>(std::move(*folder), std::move(*path), std::move(fileSystem), threads);
}

FolderLibrary::FolderLibrary(std::unique_ptr<platform::Directory> root, std::string rootPath,
                             std::shared_ptr<platform::FileSystem> fileSystem, std::size_t threads)
    : files_(std::move(fileSystem)),
      root_(std::move(root)),
      rootPath_(rootPath == "/" ? std::string() : std::move(rootPath)),
      pool_(threads) {}

FolderLibrary::~FolderLibrary() = default;

RequestID FolderLibrary::nextRequest() { return ++lastRequest_; }

std::optional<MediaType> FolderLibrary::mediaTypeOfName(std::string_view name) {
  // Still images: the common web and phone formats, HEIF and its AVIF, JPEG XL and JPEG 2000, and
  // the raw files of the camera makers (Canon, Nikon, Sony, Olympus/OM, Panasonic, Fujifilm,
  // Pentax/Ricoh, Samsung, Leica, Hasselblad, Phase One, Sigma, Kodak, Minolta, Epson, Mamiya, and
  // Adobe's DNG).
  static constexpr std::array<std::string_view, 51> kImages{
      "jpg", "jpeg", "jpe", "jfif", "png", "apng", "gif", "webp", "bmp", "tif", "tiff", "heic", "heif",
      "hif", "avif", "jxl", "jp2",  "j2k", "cr2",  "cr3", "crw",  "nef", "nrw", "arw",  "srf",  "sr2",
      "orf", "ori",  "rw2", "raw",  "raf", "pef",  "ptx", "srw",  "dng", "3fr", "fff",  "iiq",  "rwl",
      "x3f", "dcr",  "kdc", "k25",  "mrw", "mdc",  "erf", "mef",  "mos", "gpr", "cap",  "eip"};
  // Moving pictures: the MPEG, QuickTime and Matroska families, transport streams from camcorders
  // (AVCHD), Windows Media, Flash, Ogg, DVD, DV, and the phone and camera containers.
  static constexpr std::array<std::string_view, 30> kVideos{
      "mov", "qt",  "mp4", "m4v", "avi", "mkv", "webm", "3gp", "3g2", "mts", "m2ts", "m2t", "ts",   "mpg",  "mpeg",
      "mpe", "m1v", "m2v", "vob", "wmv", "asf", "flv",  "f4v", "ogv", "dv",  "mxf",  "rm",  "rmvb", "divx", "insv"};
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  if (std::find(kImages.begin(), kImages.end(), extension) != kImages.end()) return MediaType::kImage;
  if (std::find(kVideos.begin(), kVideos.end(), extension) != kVideos.end()) return MediaType::kVideo;
  return std::nullopt;
}

std::optional<MediaType> FolderLibrary::assetType(std::string_view identifier) const {
  const auto type = mediaTypeOfName(lastSegment(identifier));
  if (!type || !wellFormed(identifier)) return std::nullopt;
  const auto status = files_->statusOf(root_.get(), identifier, Resolve::kBeneath);
  if (!status || status->type != FileType::kRegular) return std::nullopt;
  return type;
}

bool FolderLibrary::albumExists(std::string_view identifier) const {
  if (!wellFormed(identifier)) return false;
  const auto status = files_->statusOf(root_.get(), identifier, Resolve::kBeneath);
  return status && status->type == FileType::kDirectory;
}

platform::FileResult<std::unique_ptr<platform::File>> FolderLibrary::openAsset(std::string_view identifier) const {
  if (!wellFormed(identifier) || !mediaTypeOfName(lastSegment(identifier))) {
    return platform::Unexpected(FileError::system("open", identifier, ENOENT));
  }
  auto file = files_->openFile(root_.get(), identifier, Resolve::kBeneath);
  if (!file) return file;
  const auto status = (*file)->status();
  if (!status) return platform::Unexpected(status.error());
  if (status->type != FileType::kRegular) {
    return platform::Unexpected(FileError::of(FileError::Reason::kNotRegular, "open", identifier));
  }
  return file;
}

void FolderLibrary::browseFailed(std::string_view path, const FileError& error) const {
  if (browseFailures_) browseFailures_(path, error);
}

FetchResult<Asset> FolderLibrary::fetchAssetsWithLocalIdentifiers(const std::vector<std::string>& identifiers) {
  std::vector<std::shared_ptr<const Asset>> assets;
  for (const auto& identifier : identifiers) {
    if (const auto type = assetType(identifier)) assets.push_back(std::make_shared<PlainAsset>(identifier, *type));
  }
  return FetchResult<Asset>(std::move(assets));
}

FetchResult<AssetCollection> FolderLibrary::fetchAssetCollectionsWithLocalIdentifiers(
    const std::vector<std::string>& identifiers) {
  std::vector<std::shared_ptr<const AssetCollection>> albums;
  for (const auto& identifier : identifiers) {
    if (albumExists(identifier)) albums.push_back(std::make_shared<PlainAlbum>(identifier));
  }
  return FetchResult<AssetCollection>(std::move(albums));
}

FetchResult<AssetCollection> FolderLibrary::fetchAssetCollectionsContainingAsset(const Asset& asset,
                                                                                 AssetCollectionType type) {
  const auto identifier = asset.localIdentifier();
  const auto slash = identifier.rfind('/');
  if (type != AssetCollectionType::kAlbum || slash == std::string::npos || !assetType(identifier)) return {};
  return fetchAssetCollectionsWithLocalIdentifiers({identifier.substr(0, slash)});
}

std::vector<std::shared_ptr<const AssetResource>> FolderLibrary::assetResourcesForAsset(const Asset& asset) {
  auto identifier = asset.localIdentifier();
  if (!assetType(identifier)) return {};
  auto filename = std::string(lastSegment(identifier));
  return {std::make_shared<PlainResource>(std::move(identifier), std::move(filename))};
}

RequestID FolderLibrary::requestAVAssetForVideo(const Asset& asset, const VideoRequestOptions&,
                                                VideoResultHandler resultHandler) {
  const RequestID id = nextRequest();
  pool_.submit([this, identifier = asset.localIdentifier(), handler = std::move(resultHandler)](bool cancelled) {
    if (cancelled) return handler(nullptr, nullptr, info({{"cancelled", "1"}}));
    if (mediaTypeOfName(lastSegment(identifier)) != MediaType::kVideo) {
      return handler(nullptr, nullptr, info({{"error", "not a video"}}));
    }
    auto file = openAsset(identifier);
    if (!file) return handler(nullptr, nullptr, info({{"error", file.error().description()}}));
    // The handler gets the file opened here, so nothing looks the video up by name again.
    handler(std::make_shared<AVURLAsset>(fileURLWithPath(rootPath_ + "/" + identifier), std::move(*file)), nullptr,
            info({}));
  });
  return id;
}

RequestID FolderLibrary::requestDataForAssetResource(const AssetResource& resource,
                                                     DataReceivedHandler dataReceivedHandler,
                                                     DataCompletionHandler completionHandler) {
  const RequestID id = nextRequest();
  pool_.submit([this, identifier = resource.assetLocalIdentifier(), onData = std::move(dataReceivedHandler),
                onDone = std::move(completionHandler)](bool cancelled) {
    const LibraryError shutDown{ECANCELED, "the library shut down"};
    if (cancelled) return onDone(shutDown);
    const auto file = openAsset(identifier);
    const auto before =
        file ? (*file)->status() : platform::FileResult<platform::FileStatus>(platform::Unexpected(file.error()));
    if (!before) return onDone(libraryError(before.error()));
    const platform::File& reader = **file;
    if (before->size > kChunkSize) reader.adviseSequential();
    const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize);
    std::uint64_t total = 0;
    for (;;) {
      if (pool_.stopping()) return onDone(shutDown);
      const auto count = reader.readSome(total, {chunk.get(), kChunkSize});
      if (!count) return onDone(libraryError(count.error()));
      if (*count == 0) break;
      onData({chunk.get(), *count});
      total += *count;
    }
    // Data that changed while it streamed is no version of the asset.
    const auto after = reader.status();
    if (!after || total != before->size || !after->sameVersionAs(*before)) {
      return onDone(libraryError(FileError::of(FileError::Reason::kChanged, "read", identifier)));
    }
    onDone(std::nullopt);
  });
  return id;
}

FetchResult<Asset> FolderLibrary::fetchAssets() {
  std::vector<std::shared_ptr<const Asset>> assets;
  platform::walkTree(*files_, *root_,
                     {.followLinks = true, .beneathRoot = true, .skipHidden = true, .linkedFoldersOnce = true},
                     {[&](const platform::WalkEntry& entry) {
                        if (entry.type == FileType::kRegular) {
                          if (const auto type = mediaTypeOfName(lastSegment(entry.path))) {
                            assets.push_back(std::make_shared<PlainAsset>(std::string(entry.path), *type));
                          }
                        }
                        return true;
                      },
                      [this](std::string_view path, const FileError& error) { browseFailed(path, error); }});
  return FetchResult<Asset>(std::move(assets));
}

FetchResult<AssetCollection> FolderLibrary::fetchAssetCollectionsWithType(AssetCollectionType type) {
  std::vector<std::shared_ptr<const AssetCollection>> albums;
  if (type != AssetCollectionType::kAlbum) return {};
  platform::walkTree(*files_, *root_,
                     {.followLinks = true, .beneathRoot = true, .skipHidden = true, .linkedFoldersOnce = true},
                     {[&](const platform::WalkEntry& entry) {
                        if (entry.type == FileType::kDirectory)
                          albums.push_back(std::make_shared<PlainAlbum>(std::string(entry.path)));
                        return true;
                      },
                      [this](std::string_view path, const FileError& error) { browseFailed(path, error); }});
  return FetchResult<AssetCollection>(std::move(albums));
}

FetchResult<Asset> FolderLibrary::fetchAssetsInAssetCollection(const AssetCollection& collection) {
  const auto album = collection.localIdentifier();
  if (!wellFormed(album)) return {};
  const auto folder = files_->openDirectory(root_.get(), album, Resolve::kBeneath);
  const auto entries =
      folder ? (*folder)->entries()
             : platform::FileResult<std::vector<platform::DirectoryEntry>>(platform::Unexpected(folder.error()));
  if (!entries) {
    browseFailed(album, entries.error());
    return {};
  }
  std::vector<std::pair<std::string, MediaType>> found;
  for (const auto& entry : *entries) {
    const auto type = mediaTypeOfName(entry.name);
    if (hidden(entry.name) || !type) continue;
    const std::string identifier = album + "/" + entry.name;
    // A link counts for what it leads to, if that lies inside.
    if (entry.type == FileType::kRegular || (entry.type == FileType::kSymbolicLink && assetType(identifier))) {
      found.emplace_back(identifier, *type);
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::shared_ptr<const Asset>> assets;
  for (auto& [identifier, type] : found) assets.push_back(std::make_shared<PlainAsset>(std::move(identifier), type));
  return FetchResult<Asset>(std::move(assets));
}

}  // namespace corvane::photo_library
