#include "library/library_commands.h"

#include <unistd.h>

#include <unordered_map>

#include <CLI/CLI.hpp>

#include "cli/exit_status.h"
#include "inputs/photo_folder.h"
#include "plugin/plugin_client.h"
#include "text/escape.h"
#include "text/json_name.h"
#include "text/output.h"

namespace corvane::tool {
namespace {

const char* mediaTypeName(photo_library::MediaType type) {
  switch (type) {
    case photo_library::MediaType::kImage: return "image";
    case photo_library::MediaType::kVideo: return "video";
    case photo_library::MediaType::kAudio: return "audio";
    default: return "unknown";
  }
}

void addLibraryOption(CLI::App& command, LibraryOptions& options) {
  command.add_option("--library", options.library, "The photo library folder (default: your pictures folder)")
      ->type_name("DIR");
}

// "<field>  <name>" with the name escaped as in digest lines, or a JSON object.
bool printEntry(bool json, const std::string& nameKey, const std::string& name, const std::string& fieldKey,
                const nlohmann::ordered_json& field, const std::string& fieldText) {
  if (!json) return printOut(lineWithName(fieldText + "  ", name, {}));
  nlohmann::ordered_json object;
  putName(object, nameKey, name);
  object[fieldKey] = field;
  return printOut(jsonLine(object));
}

int runAssets(const PhotoFolder& library, const LibraryOptions& options) {
  const auto listed = library.forEachAsset(options.album, [&](const LibraryAsset& asset) {
    const std::string type = mediaTypeName(asset.type);
    return printEntry(options.json, "asset", asset.identifier, "mediaType", type, type);
  });
  if (!listed) {
    printError("no album " + quoteName(*options.album) + " in the library");
    return kExitFailed;
  }
  return kExitOk;
}

int runAlbums(const PhotoFolder& library, const LibraryOptions& options) {
  // One listing of every asset, counted by the album that holds it: linear in the tree, where
  // listing each album apart would look each one up from the root again.
  std::unordered_map<std::string, std::int64_t> counts;
  library.forEachAsset(std::nullopt, [&](const LibraryAsset& asset) {
    const auto& id = asset.identifier;
    if (const auto slash = id.rfind('/'); slash != std::string::npos) ++counts[id.substr(0, slash)];
    return true;
  });
  library.forEachAlbum([&](const std::string& id) {
    const auto found = counts.find(id);
    const std::int64_t count = found == counts.end() ? 0 : found->second;
    return printEntry(options.json, "album", id, "assets", count, std::to_string(count));
  });
  return kExitOk;
}

int runInAlbum(const Context& context, const PhotoFolder& library, const LibraryOptions& options) {
  const auto& common = context.common;
  auto client = PluginClient::start(
      context,
      {common.verbose ? std::shared_ptr<platform::Console>(std::make_shared<platform::DescriptorConsole>(STDERR_FILENO))
                      : std::make_shared<platform::SilentConsole>(),
       library.location()});
  if (!client) {
    printError(client.error().text());
    return kExitInAlbumError;
  }
  const auto answer = (*client)->getIfAssetExistInAlbum(options.asset, options.albumId, !options.anyAlbum);
  if (!answer) {
    printError(answer.error().text());
    return kExitInAlbumError;
  }
  printOut(*answer ? "true" : "false");
  return *answer ? kExitOk : kExitFailed;
}

}  // namespace

void addLibraryCommands(CLI::App& app, LibraryOptions& options, CommonOptions& common) {
  const std::string listStatuses =
      "  0  listed\n"
      "  1  the library or the album cannot be opened; standard output could not be written; or the\n"
      "     run could not go on (out of memory, say)\n"
      "  2  the command line is wrong";
  const std::string nameForm =
      "\nA name holding a backslash or a line break is escaped as sha256sum escapes it (\\\\, \\n), and its\n"
      "line then starts with a backslash. With --json, a name that is not UTF-8 also comes exactly, in\n"
      "base64, under the name's key followed by \"_base64\".\n";

  auto* assets = app.add_subcommand("assets", "List the photo library's assets with their media types");
  addLibraryOption(*assets, options);
  assets->add_option("--album", options.album, "List only the assets of this album")->type_name("ALBUM");
  assets->add_flag("--json", options.json, "Print one JSON object per asset: {\"asset\",\"mediaType\"}");
  addCommonOptions(*assets, common);
  assets->footer(
      helpFooter("  corvane assets --library ~/Pictures              \"<media type>  <asset>\" lines\n"
                 "  corvane assets --library ~/Pictures --album Holidays --json\n"
                 "\nAn asset is a file whose extension, in any case, names an image (JPEG, PNG, GIF, WebP,\n"
                 "BMP, TIFF, HEIF/HEIC, AVIF, JPEG XL, JPEG 2000, and camera raw files: .cr2 .cr3 .nef .arw\n"
                 ".orf .rw2 .raf .pef .srw .dng .3fr .iiq .rwl .x3f and more) or a video (.mov .mp4 .avi\n"
                 ".mkv .webm .3gp .mpg .mpeg .mts .m2ts .ts .vob .wmv .asf .flv .ogv .dv and more); the\n"
                 "README lists them all.\n" +
                     nameForm,
                 listStatuses));

  auto* albums = app.add_subcommand("albums", "List the photo library's albums with their asset counts");
  addLibraryOption(*albums, options);
  albums->add_flag("--json", options.json, "Print one JSON object per album: {\"album\",\"assets\"}");
  addCommonOptions(*albums, common);
  albums->footer(
      helpFooter("  corvane albums --library ~/Pictures              \"<asset count>  <album>\" lines\n" + nameForm,
                 listStatuses));

  auto* inAlbum = app.add_subcommand("in-album", "Tell whether an asset lies in an album: prints true or false");
  addLibraryOption(*inAlbum, options);
  inAlbum->add_option("ASSET", options.asset, "The asset's identifier")->required()->type_name("");
  inAlbum->add_option("ALBUM", options.albumId, "The album's identifier")->required()->type_name("");
  inAlbum->add_flag("--any", options.anyAlbum, "Ask only whether the asset exists, in whatever album");
  addCommonOptions(*inAlbum, common);
  inAlbum->footer(
      helpFooter("  corvane in-album --library ~/Pictures Holidays/beach.png Holidays\n"
                 "  corvane in-album --library ~/Pictures --any welcome.png ''\n"
                 "  if corvane in-album -q Holidays/beach.png Holidays >/dev/null; then ...\n",
                 "  0  true: the asset lies in the album\n"
                 "  1  false\n"
                 "  2  no answer: the library cannot be opened, the command line is wrong, standard\n"
                 "     output could not be written, or the run could not go on (as grep)"));
}

std::optional<int> runLibraryCommand(const CLI::App& app, const Context& context, const LibraryOptions& options) {
  const bool assets = app.got_subcommand("assets"), albums = app.got_subcommand("albums"),
             inAlbum = app.got_subcommand("in-album");
  if (!assets && !albums && !inAlbum) return std::nullopt;
  auto library = PhotoFolder::openChosen(context.files, options.library);
  if (!library) {
    printError(library.error().text());
    return inAlbum ? kExitInAlbumError : kExitFailed;
  }
  // A folder the listing could not read leaves it incomplete: said, and the status shows it.
  bool incomplete = false;
  library->onListingFailure([&incomplete](std::string_view path, const platform::FileError& error) {
    incomplete = true;
    printError(quoteName(path.empty() ? "." : path) + ": " + error.description());
  });
  if (assets) {
    const int status = runAssets(*library, options);
    return status == kExitOk && incomplete ? kExitFailed : status;
  }
  if (albums) {
    const int status = runAlbums(*library, options);
    return status == kExitOk && incomplete ? kExitFailed : status;
  }
  return runInAlbum(context, *library, options);
}

}  // namespace corvane::tool
