#include "photo_library/folder_library.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/socket.h>

#include <atomic>
#include <set>
#include <thread>

#include "photo_library/file_url.h"
#include "photo_library/plain_items.h"
#include "support/channel_harness.h"
#include "support/temp_dir.h"

namespace corvane::testing {
namespace {

using photo_library::FolderLibrary;

std::shared_ptr<FolderLibrary> openFolder(const std::filesystem::path& root, std::size_t threads = 2) {
  auto library = FolderLibrary::open(root.string(), platform::posixFileSystem(), threads);
  EXPECT_TRUE(library) << library.error().description();
  return library ? *library : nullptr;
}

std::vector<std::string> identifiers(const auto& fetched) {
  std::vector<std::string> ids;
  fetched.enumerateObjectsUsingBlock(
      [&](const auto& item, std::int64_t, bool*) { ids.push_back(item.localIdentifier()); });
  return ids;
}

TEST(FolderLibrary, AnswersThroughTheChannelWithTheFilesOwnDigests) {
  TempDir dir;
  ChannelHarness plain;
  auto library = openFolder(dir.path());
  ChannelHarness harness(library);
  for (const std::string& id :
       std::vector<std::string>{"Trip/sea waves.mov", "Trip/100% #1 été 日本.MP4", "top.mkv", "Deep/er/clip.webm"}) {
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
  std::filesystem::create_symlink("/proc/self/root" + secret, outside.path() / "lib" / "magic.jpg");
  auto library = openFolder(outside.path() / "lib");
  ChannelHarness harness(library);
  ASSERT_NE(harness.call("hashAsset", host::Value("Album/ok.jpg")), nil());
  for (const std::string& id : std::vector<std::string>{
           "../secret.jpg", "Album/../../secret.jpg", "Album/../ok.jpg", "./Album/ok.jpg", "Album//ok.jpg",
           "/Album/ok.jpg", secret, "Album/ok.jpg/", std::string("Album/ok.jpg\0.jpg", 17),
           std::string("Album\0/ok.jpg", 13), "Album/link.jpg", "escape/secret.jpg", "magic.jpg", ".hidden/photo.jpg",
           "Album/.dot.jpg", "notes.txt", "Album", "", "."}) {
    EXPECT_EQ(harness.call("hashAsset", host::Value(id)), nil()) << id;
    EXPECT_EQ(library->fetchAssetsWithLocalIdentifiers({id}).count(), 0) << id;
  }
  for (const std::string& album :
       std::vector<std::string>{"..", "/", "", "escape", ".hidden", "Album/", "Album/ok.jpg"}) {
    EXPECT_EQ(library->fetchAssetCollectionsWithLocalIdentifiers({album}).count(), 0) << album;
  }
}

// Links that stay inside the library work, for lookups and browsing alike; links that lead out
// and loops of links name nothing.
TEST(FolderLibrary, LinksInsideWorkForLookupsAndBrowsingAlike) {
  TempDir dir;
  const auto outsideFile = dir.write("outside/secret.jpg", "outside");
  dir.write("lib/Real/a.jpg", "a");
  dir.write("lib/Real/Sub/b.png", "b");
  const auto lib = dir.path() / "lib";
  std::filesystem::create_symlink("Real", lib / "Linked");                                  // a folder, inside
  std::filesystem::create_symlink("../a.jpg", lib / "Real" / "Sub" / "c.jpg");              // a file, inside
  std::filesystem::create_symlink(lib / "Real" / "a.jpg", lib / "Real" / "Sub" / "d.jpg");  // inside, absolute
  std::filesystem::create_symlink(dir.path() / "outside", lib / "Out");                     // a folder, outside
  std::filesystem::create_symlink(outsideFile, lib / "Real" / "out.jpg");                   // a file, outside
  std::filesystem::create_symlink("..", lib / "Real" / "Sub" / "Up");                       // a loop
  auto library = openFolder(lib);
  ChannelHarness harness(library);
  EXPECT_EQ(harness.call("hashAsset", host::Value("Linked/Sub/c.jpg")), text(referenceSha256("a")));
  EXPECT_EQ(harness.call("hashAsset", host::Value("Linked/Sub/d.jpg")), text(referenceSha256("a")));
  EXPECT_EQ(harness.call("hashAsset", host::Value("Out/secret.jpg")), nil());
  EXPECT_EQ(harness.call("getIfAssetExistInAlbum", albumQuery(host::Value("Linked/a.jpg"), host::Value("Linked"))),
            boolean(true));
  EXPECT_EQ(harness.call("getIfAssetExistInAlbum", albumQuery(host::Value("Out/secret.jpg"), host::Value("Out"))),
            boolean(false));

  EXPECT_EQ(identifiers(library->fetchAssets()),
            (std::vector<std::string>{"Linked/Sub/b.png", "Linked/Sub/c.jpg", "Linked/Sub/d.jpg", "Linked/a.jpg",
                                      "Real/Sub/b.png", "Real/Sub/c.jpg", "Real/Sub/d.jpg", "Real/a.jpg"}));
  EXPECT_EQ(identifiers(library->fetchAssetCollectionsWithType(photo_library::AssetCollectionType::kAlbum)),
            (std::vector<std::string>{"Linked", "Linked/Sub", "Real", "Real/Sub"}));
  EXPECT_EQ(identifiers(library->fetchAssetsInAssetCollection(photo_library::PlainAlbum("Real/Sub"))),
            (std::vector<std::string>{"Real/Sub/b.png", "Real/Sub/c.jpg", "Real/Sub/d.jpg"}));
}

// A folder of the library swapped, again and again, with a link to a folder outside that holds
// files of the same names: no answer may ever come from the outside files.
TEST(FolderLibrary, AFolderSwappedForALinkOutsideNeverLeadsAnAnswerOutside) {
  TempDir dir;
  const auto inside = patternBytes(150'000, 1), outside = patternBytes(150'000, 2);
  dir.write("lib/Album/photo.jpg", inside);
  dir.write("lib/Album/clip.mov", inside);
  dir.write("outside/photo.jpg", outside);
  dir.write("outside/clip.mov", outside);
  dir.write("outside/only-outside.jpg", outside);
  const auto lib = dir.path() / "lib";
  std::filesystem::create_symlink(dir.path() / "outside", lib / "Swap");
  auto library = openFolder(lib);
  ChannelHarness harness(library);
  ChannelHarness plain;
  const std::vector<host::MethodReply> outsideAnswers{
      plain.call("hashFile", host::Value((dir.path() / "outside/photo.jpg").string())),
      plain.call("fingerprintOfFile", host::Value((dir.path() / "outside/clip.mov").string()))};

  std::atomic<bool> done{false};
  std::thread swapper([&] {
    const auto a = (lib / "Album").string(), b = (lib / "Swap").string();
    while (!done) ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
  });
  const auto onlyOutside = albumQuery(host::Value("Album/only-outside.jpg"), host::Value("Album"));
  std::size_t fromOutside = 0, digests = 0;
  constexpr int kCalls = 20'000;
  for (int i = 0; i < kCalls; ++i) {
    host::MethodReply reply;
    switch (i % 3) {
      case 0: reply = harness.call("hashAsset", host::Value("Album/photo.jpg")); break;
      case 1: reply = harness.call("fingerprintOfVideoAsset", host::Value("Album/clip.mov")); break;
      default: reply = harness.call("getIfAssetExistInAlbum", onlyOutside); break;
    }
    fromOutside += std::find(outsideAnswers.begin(), outsideAnswers.end(), reply) != outsideAnswers.end() ||
                   reply == boolean(true);
    digests +=
        std::holds_alternative<host::Value>(reply) && std::get<host::Value>(reply).getIf<std::string>() != nullptr;
    if (i % 1000 == 0) harness.console->clear();
  }
  done = true;
  swapper.join();
  EXPECT_EQ(fromOutside, 0u);
  EXPECT_GT(digests, 0u);  // the swap did not simply make every lookup fail
  EXPECT_EQ(harness.engine->answerFaults(), 0u);
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
                        albumQuery(host::Value(asset), host::Value(album), host::Value(userAlbum)));
  };
  EXPECT_EQ(inAlbum("Holidays/beach.PNG", "Holidays"), boolean(true));
  EXPECT_EQ(inAlbum("Holidays/2024/june.heic", "Holidays/2024"), boolean(true));
  EXPECT_EQ(inAlbum("Holidays/2024/june.heic", "Holidays"), boolean(false));
  EXPECT_EQ(inAlbum("loose.gif", "Holidays"), boolean(false));
  EXPECT_EQ(inAlbum("loose.gif", "nowhere", false), boolean(true));
  EXPECT_EQ(inAlbum("Family/readme.md", "Family", false), boolean(false));

  EXPECT_EQ(
      identifiers(library->fetchAssets()),
      (std::vector<std::string>{"Family/birthday.avi", "Holidays/2024/june.heic", "Holidays/beach.PNG", "loose.gif"}));
  EXPECT_EQ(identifiers(library->fetchAssetCollectionsWithType(photo_library::AssetCollectionType::kAlbum)),
            (std::vector<std::string>{"Family", "Holidays", "Holidays/2024"}));
  const auto familyAlbum = library->fetchAssetCollectionsWithLocalIdentifiers({"Family"}).firstObject();
  ASSERT_TRUE(familyAlbum);
  EXPECT_EQ(identifiers(library->fetchAssetsInAssetCollection(*familyAlbum)),
            std::vector<std::string>{"Family/birthday.avi"});
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
      library->requestDataForAssetResource(
          *resource, [&](std::span<const std::uint8_t>) { ++chunks; },
          [&](std::optional<photo_library::LibraryError>) { ++completions; });
      library->requestAVAssetForVideo(*asset, {}, [&](auto, auto, auto) { ++videoAnswers; });
    }
  }  // the library goes with most requests still queued
  EXPECT_EQ(completions, kRequests);
  EXPECT_EQ(videoAnswers, kRequests);
}

TEST(FileUrl, RoundTripsAnyPathAndRefusesWhatIsNoFileHere) {
  for (const std::string& path :
       std::vector<std::string>{"/a/b c/100%/#1/été/日本.mov", "/", "/x?y", "/\x01\x7f\xff"}) {
    EXPECT_EQ(photo_library::pathOfFileURL(photo_library::fileURLWithPath(path)), path) << path;
  }
  EXPECT_EQ(photo_library::fileURLWithPath("/a b/é"), "file:///a%20b/%C3%A9");
  EXPECT_EQ(photo_library::pathOfFileURL("FILE://localhost/x%2Fy"), "/x/y");
  EXPECT_EQ(photo_library::pathOfFileURL("file:///clip.mov?v=1#t=3"), "/clip.mov");
  for (const std::string& url :
       std::vector<std::string>{"https://host/x.mov", "file://otherhost/x.mov", "file:/x.mov", "file:///a%zz",
                                "file:///a%2", "file:///a%00b", "/plain/path.mov", ""}) {
    EXPECT_FALSE(photo_library::pathOfFileURL(url)) << url;
  }
}

}  // namespace
}  // namespace corvane::testing
