#include <CLI/CLI.hpp>
#include <cstdio>

#include "call_command.h"
#include "catalog/catalog_command.h"
#include "digest_command.h"
#include "exit_status.h"
#include "library_commands.h"
#include "options.h"
#include "output.h"
#include "plugin_host.h"

using namespace corvane::tool;

namespace {

// The version, as the plug-in library's own symbols give it.
std::string versionText() {
  std::string error;
  const auto host = PluginHost::start({}, error);
  if (!host) return "corvane (plug-in library not found: " + error + ")";
  char number[32];
  std::snprintf(number, sizeof number, "%g", host->versionNumber());
  return host->versionString() + " (plug-in library version " + number + ")";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"corvane: content identities for files and photo-library items", "corvane"};
  app.require_subcommand(1);
  app.fallthrough();  // -q and --trace also after the subcommand
  app.set_version_flag("--version", versionText);
  app.footer(
      "Examples:\n"
      "  corvane fingerprint -r ~/Archive > archive.fingerprints   fast identities of every file\n"
      "  corvane fingerprint -c archive.fingerprints                what has changed since?\n"
      "  corvane hash -r ~/Archive > archive.sha256                 full SHA-256, as sha256sum\n"
      "  corvane albums --library ~/Pictures                        what a photo folder holds\n"
      "  corvane call getPlatformVersion                            any call on the channel\n"
      "\nRun 'corvane SUBCOMMAND --help' for each subcommand's options.");
  CommonOptions common;
  app.add_flag("--trace", common.trace, "Show each call's and reply's bytes on standard error");
  app.add_flag("-q,--quiet", common.quiet, "No progress display and no printed lines from the plug-in");

  DigestOptions fingerprint, hash;
  auto* fingerprintCommand = addDigestCommand(app, DigestKind::kFingerprint, fingerprint);
  auto* hashCommand = addDigestCommand(app, DigestKind::kHash, hash);
  LibraryOptions library;
  addLibraryCommands(app, library);
  CallOptions call;
  addCallCommand(app, call);
  catalog::CatalogOptions catalogOptions;
  catalog::addCatalogCommand(app, catalogOptions);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    printError(e.what());
    printErr("Run 'corvane --help' for usage.");
    return kExitUsage;
  }

  if (fingerprintCommand->parsed()) return runDigest(common, DigestKind::kFingerprint, fingerprint);
  if (hashCommand->parsed()) return runDigest(common, DigestKind::kHash, hash);
  if (const auto status = runLibraryCommand(app, common, library)) return *status;
  if (app.got_subcommand("call")) return runCall(common, call);
  if (const auto status = catalog::runCatalogCommand(app, common, catalogOptions)) return *status;
  return kExitUsage;
}
