#include <unistd.h>

#include <cstdio>
#include <new>
#include <sstream>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "call/call_command.h"
#include "catalog/catalog_command.h"
#include "cli/command_words.h"
#include "cli/common_options.h"
#include "cli/exit_status.h"
#include "cli/help_format.h"
#include "digest/digest_command.h"
#include "dupes/dupes_command.h"
#include "library/library_commands.h"
#include "platform/file_system.h"
#include "plugin/plugin_client.h"
#include "run/batched_closer.h"
#include "run/thread_budget.h"
#include "text/output.h"

using namespace corvane::tool;

namespace {

// The command's version, then the plug-in it loads and that library's own version symbols.
std::string versionText(const Context& context) {
  const std::string command = "corvane " CORVANE_VERSION;
  const auto client = PluginClient::start(context, {});
  if (!client) return command + "\nplug-in: not found (" + client.error().text() + ")";
  char number[32];
  std::snprintf(number, sizeof number, "%g", (*client)->versionNumber());
  return command + "\nplug-in: " + (*client)->libraryPath() + " (" + (*client)->versionString() + ", version " +
         number + ")";
}

// Help and version text as CLI11 formats them, written through the checked output.
int printThrough(CLI::App& app, const CLI::Error& e) {
  std::ostringstream out, err;
  const int status = app.exit(e, out, err);
  writeOut(out.str());
  if (!err.str().empty()) printErr(err.str());
  return status;
}

// Parses the command line and runs the subcommand. `trouble` is the status for a run that
// cannot go on, which in-album wants different from the others.
int run(int argc, char** argv, int& trouble) {
  CLI::App app{"corvane: content identities for files and photo-library items", "corvane"};
  app.formatter(helpFormatter());
  app.require_subcommand(1);
  // The one file system of the run, lent to every subcommand; the files it reads are closed in batches.
  Context context{{}, corvane::platform::posixFileSystem(std::make_shared<BatchedCloser>(closingBatch()))};
  CommonOptions& common = context.common;
  app.set_version_flag("--version", [&context] { return versionText(context); });
  app.footer(
      helpFooter("  corvane fingerprint -r ~/Archive > archive.fingerprints   fast identities of every file\n"
                 "  corvane fingerprint -c archive.fingerprints                what has changed since?\n"
                 "  corvane hash -r ~/Archive > archive.sha256                 full SHA-256, as sha256sum\n"
                 "  corvane hash -c --quiet archive.sha256                     only what failed\n"
                 "  corvane albums --library ~/Pictures                        what a photo folder holds\n"
                 "  corvane call getPlatformVersion                            any call on the channel\n"
                 "\nRun 'corvane SUBCOMMAND --help' for each subcommand's options.\n",
                 "  0  success\n"
                 "  1  some path, asset or check failed; standard output could not be written; or the run\n"
                 "     could not go on (out of memory, say)\n"
                 "  2  the command line is wrong (in-album: also no answer)\n"
                 "  3  call: the plug-in does not implement the method"));
  addCommonOptions(app, common);

  DigestOptions fingerprint, hash;
  auto* fingerprintCommand = addDigestCommand(app, DigestKind::kFingerprint, fingerprint, common);
  auto* hashCommand = addDigestCommand(app, DigestKind::kHash, hash, common);
  LibraryOptions library;
  addLibraryCommands(app, library, common);
  CallOptions call;
  addCallCommand(app, call, common);
  DupesOptions dupes;
  auto* dupesCommand = addDupesCommand(app, dupes, common);
  catalog::CatalogOptions catalogOptions;
  catalog::addCatalogCommand(app, catalogOptions, common);

  // Subcommand words first: a typo gets a suggestion, `help SUBCOMMAND` its help.
  auto words = checkSubcommandWords(app, std::vector<std::string>(argv + 1, argv + argc));
  if (!words) {
    printError(words.error().text());
    printErr("Run 'corvane --help' for usage.");
    return kExitUsage;
  }
  std::vector<char*> checked{argv[0]};
  for (auto& word : *words) checked.push_back(word.data());
  try {
    app.parse(static_cast<int>(checked.size()), checked.data());
  } catch (const CLI::CallForHelp& e) {
    return printThrough(app, e);
  } catch (const CLI::CallForAllHelp& e) {
    return printThrough(app, e);
  } catch (const CLI::CallForVersion& e) {
    return printThrough(app, e);
  } catch (const CLI::ParseError& e) {
    printError(e.what());
    printErr("Run 'corvane --help' for usage.");
    return kExitUsage;
  }
  if (app.got_subcommand("in-album")) trouble = kExitInAlbumError;
  if (common.quiet && common.verbose) {
    printError("-q and -v ask for opposite things; give one of them");
    return kExitUsage;
  }

  if (fingerprintCommand->parsed()) return runDigest(context, DigestKind::kFingerprint, fingerprint);
  if (hashCommand->parsed()) return runDigest(context, DigestKind::kHash, hash);
  if (const auto status = runLibraryCommand(app, context, library)) return *status;
  if (app.got_subcommand("call")) return runCall(context, call);
  if (dupesCommand->parsed()) return runDupes(context, dupes);
  if (const auto status = catalog::runCatalogCommand(app, context, catalogOptions)) return *status;
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  holdStandardDescriptors();
  int trouble = kExitFailed;
  int status = trouble;
  try {
    status = run(argc, argv, trouble);
  } catch (const std::bad_alloc&) {
    // Written as it is: building a message could need the memory there is not.
    static constexpr std::string_view kOutOfMemory = "corvane: out of memory\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kOutOfMemory.data(), kOutOfMemory.size());
    status = trouble;
  } catch (const std::exception& e) {
    printError(e.what());
    status = trouble;
  } catch (...) {
    printError("unexpected failure");
    status = trouble;
  }
  // Lost output is a failure whatever else happened, and is said once, here.
  if (reportWriteError()) return trouble;
  return status;
}
