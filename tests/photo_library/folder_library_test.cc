#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <set>
#include <thread>

#include "photo_library/file_url.h"
#include "photo_library/folder_library.h"
#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

using photo_library::FolderLibrary;

std::shared_ptr<FolderLibrary> openFolder(const std::filesystem::path& root, std::size_t threads = 2) {
  std::string error;
  auto library = FolderLibrary::open(root, error, threads);
  EXPECT_TRUE(library) << error;
  return library;
}

TEST(FolderLibrary, AnswersThroughTheChannelWithTheFilesOwnDigests) {
  TempDir dir;
  ChannelHarness plain;
  auto library = openFolder(dir.path());
  ChannelHarness harness(library);
  for (const std::string& id : std::vector<std::string>{"Trip/sea waves.mov", "Trip/100% #1 été 日本.MP4", "top.mkv", "Deep/er/clip.webm"}) {
    const auto content = patternBytes(200'000 + id.size(), static_cast<std::uint32_t>(id.size()));
    const auto path = dir.write(id, content);
    EXPECT_EQ(harness.call("hashAsset", host::Value(id)), text(referenceSha256(content))) << id;
    EXPECT_EQ(harness.call("fingerprintOfVideoAsset", host::Value(id)),
              plain.call("fingerprintOfFile", host::Value(path)))
        << id;
  }
  // Sizes around the chunk size, hashed across chunk boundaries.
  for (const std::size_t size : {std::size_t{0}, FolderLibrary::kChunkSize, FolderLibrary::kChunkSize + 1}) {
    const auto content = patternBytes(size, 9);
    dir.write("sizes/photo.jpg", content);
    EXPECT_EQ(harness.call("hashAsset", host::Value("sizes/photo.jpg")), text(referenceSha256(content))) << size;
  }
  EXPECT_EQ(harness.engine->answerFaults(), 0u);
}

TEST(FolderLibrary, IdentifiersNeverLeaveTheRoot) {
  TempDir outside;
  const auto secret = outside.write("secret.jpg", "outside");
  outside.write("lib/Album/ok.jpg", "inside");
  outside.write("lib/.hidden/photo.jpg", "hidden");
  outside.write("lib/Album/.dot.jpg", "hidden");
  outside.write("lib/notes.txt", "not media");
  std::filesystem::create_symlink(secret, outside.path() / "lib" / "Album" / "link.jpg");
  std::filesystem::create_symlink(outside.path(), outside.path() / "lib" / "escape");
  auto library = openFolder(outside.path() / "lib");
  ChannelHarness harness(library);
  ASSERT_NE(harness.call("hashAsset", host::Value("Album/ok.jpg")), nil());
  for (const std::string& id : std::vector<std::string>{
           "../secret.jpg", "Album/../../secret.jpg", "Album/../ok.jpg", "./Album/ok.jpg", "Album//ok.jpg", "/Album/ok.jpg",
        secret, "Album/ok.jpg/", std::string("Album/ok.jpg\0.jpg", 17), std::string("Album\0/ok.jpg", 13),
        "Album/link.jpg", "escape/secret.jpg", ".hidden/photo.jpg", "Album/.dot.jpg", "notes.txt", "Album", "", "."}) {
    EXPECT_EQ(harness.call("hashAsset", host::Value(id)), nil()) << id;
    EXPECT_FALSE(library->assetPath(id)) << id;
  }
  for (const std::string& album : std::vector<std::string>{"..", "/", "", "escape", ".hidden", "Album/", "Album/ok.jpg"}) {
    EXPECT_FALSE(library->albumPath(album)) << album;
  }
}

TEST(FolderLibrary, FoldersAreAlbumsOfTheAssetsDirectlyInThem) {
  TempDir dir;
  dir.write("Holidays/beach.PNG", "b");
  dir.write("Holidays/2024/june.heic", "j");
  dir.write("Family/birthday.avi", "v");
  dir.write("Family/readme.md", "not media");
  dir.write("loose.gif", "g");
  auto library = openFolder(dir.path());
  ChannelHarness harness(library);
  const auto inAlbum = [&](const char* asset, const char* album, bool userAlbum = true) {
    return harness.call("getIfAssetExistInAlbum",
                        host::Value(host::ValueMap{{host::Value("assetId"), host::Value(asset)},
                                                   {host::Value("pathId"), host::Value(album)},
                                                   {host::Value("isUserAlbum"), host::Value(userAlbum)}}));
  };
  EXPECT_EQ(inAlbum("Holidays/beach.PNG", "Holidays"), boolean(true));
  EXPECT_EQ(inAlbum("Holidays/2024/june.heic", "Holidays/2024"), boolean(true));
  EXPECT_EQ(inAlbum("Holidays/2024/june.heic", "Holidays"), boolean(false));
  EXPECT_EQ(inAlbum("loose.gif", "Holidays"), boolean(false));
  EXPECT_EQ(inAlbum("loose.gif", "nowhere", false), boolean(true));
  EXPECT_EQ(inAlbum("Family/readme.md", "Family", false), boolean(false));

  std::vector<std::string> assets, albums, family;
  library->fetchAssets().enumerateObjectsUsingBlock(
      [&](const auto& asset, std::int64_t, bool*) { assets.push_back(asset.localIdentifier()); });
  library->fetchAssetCollectionsWithType(photo_library::AssetCollectionType::kAlbum)
      .enumerateObjectsUsingBlock([&](const auto& album, std::int64_t, bool*) { albums.push_back(album.localIdentifier()); });
  const auto familyAlbum = library->fetchAssetCollectionsWithLocalIdentifiers({"Family"}).firstObject();
  ASSERT_TRUE(familyAlbum);
  library->fetchAssetsInAssetCollection(*familyAlbum)
      .enumerateObjectsUsingBlock([&](const auto& asset, std::int64_t, bool*) { family.push_back(asset.localIdentifier()); });
  EXPECT_EQ(assets, (std::vector<std::string>{"Family/birthday.avi", "Holidays/2024/june.heic", "Holidays/beach.PNG", "loose.gif"}));
  EXPECT_EQ(albums, (std::vector<std::string>{"Family", "Holidays", "Holidays/2024"}));
  EXPECT_EQ(family, std::vector<std::string>{"Family/birthday.avi"});
}

TEST(FolderLibrary, ShuttingDownCompletesEveryPendingRequestExactlyOnce) {
  TempDir dir;
  dir.write("a/clip.mov", std::vector<std::uint8_t>(3 * FolderLibrary::kChunkSize, 1));
  constexpr int kRequests = 1000;
  std::atomic<int> completions{0}, videoAnswers{0}, chunks{0};
  {
    auto library = openFolder(dir.path(), 1);
    const auto asset = library->fetchAssetsWithLocalIdentifiers({"a/clip.mov"}).firstObject();
    const auto resource = library->assetResourcesForAsset(*asset).at(0);
    for (int i = 0; i < kRequests; ++i) {
      library->requestDataForAssetResource(*resource, [&](std::span<const std::uint8_t>) { ++chunks; },
                                           [&](std::optional<photo_library::LibraryError>) { ++completions; });
      library->requestAVAssetForVideo(*asset, {}, [&](auto, auto, auto) { ++videoAnswers; });
    }
  }  // the library goes with most requests still queued
  EXPECT_EQ(completions, kRequests);
  EXPECT_EQ(videoAnswers, kRequests);
}

TEST(FileUrl, RoundTripsAnyPathAndRefusesWhatIsNoFileHere) {
  for (const std::string& path : std::vector<std::string>{"/a/b c/100%/#1/été/日本.mov", "/", "/x?y", "/\x01\x7f\xff"}) {
    EXPECT_EQ(photo_library::pathOfFileURL(photo_library::fileURLWithPath(path)), path) << path;
  }
  EXPECT_EQ(photo_library::fileURLWithPath("/a b/é"), "file:///a%20b/%C3%A9");
  EXPECT_EQ(photo_library::pathOfFileURL("FILE://localhost/x%2Fy"), "/x/y");
  EXPECT_EQ(photo_library::pathOfFileURL("file:///clip.mov?v=1#t=3"), "/clip.mov");
  for (const std::string& url : std::vector<std::string>{"https://host/x.mov", "file://otherhost/x.mov", "file:/x.mov", "file:///a%zz",
                                "file:///a%2", "file:///a%00b", "/plain/path.mov", ""}) {
    EXPECT_FALSE(photo_library::pathOfFileURL(url)) << url;
  }
}

}  // namespace
}  // namespace corvane::testing
