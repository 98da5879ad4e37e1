#include "digest/digest_command.h"

#include <CLI/CLI.hpp>

#include "cli/exit_status.h"
#include "cli/option_values.h"
#include "digest/check_command.h"
#include "digest/digest_line.h"
#include "digest/digest_run.h"
#include "inputs/library_location.h"
#include "text/escape.h"
#include "text/json_name.h"
#include "text/output.h"

namespace corvane::tool {
namespace {

// The command lines that are wrong although each option parses: conflicting options, or
// options meaningless for the mode. Says why, or none.
std::optional<std::string> misuse(const DigestOptions& options) {
  if (options.check) {
    if (options.json) return "--json does not go with --check: check lines are what it prints";
    if (options.recursive) return "-r does not go with --check: the lists name the files";
    if (options.tag) return "the --tag option is meaningless when verifying checksums";
    if (options.binary) return "the --binary and --text options are meaningless when verifying checksums";
  } else {
    const std::pair<bool, const char*> checkOnly[] = {{options.status, "--status"},
                                                      {options.strict, "--strict"},
                                                      {options.warn, "--warn"},
                                                      {options.ignoreMissing, "--ignore-missing"}};
    for (const auto& [given, name] : checkOnly) {
      if (given) return std::string("the ") + name + " option is meaningful only when verifying checksums (-c)";
    }
    if (options.json && (options.tag || options.zero || options.binary)) {
      return "--json does not go with --tag, -z, -b or -t: those shape text lines";
    }
    if (options.tag && options.binary == false) return "--tag does not support --text mode";
    if (options.assets && options.operands.empty()) return "no asset identifiers given";
  }
  if (options.assets && options.recursive) return "-r walks folders; it does not go with --asset";
  if (options.followLinks && !options.recursive) return "-L goes with -r: it says how to walk";
  if (options.walk.given() && !options.recursive)
    return "--exclude, --exclude-from and -x go with -r: they say how to walk";
  if (options.library && !options.assets) return "--library goes with --asset: the operands are files otherwise";
  return std::nullopt;
}

int printDigests(const Context& context, DigestKind kind, const DigestOptions& options,
                 const std::optional<std::string>& library, const Exclusions& exclusions) {
  const auto operands = options.operands.empty() ? std::vector<std::string>{"-"} : options.operands;
  // Files are hashed while the walk goes on, and only a window of them is held at any time.
  DigestRun run = options.assets ? DigestRun(context, options, kind, library, assetItems(options.operands))
                                 : DigestRun(context, options, kind, library, [&](const ItemSink& sink) {
                                     // Walked files are looked at once, so that each answer can be checked to
                                     // be for the file the walk saw.
                                     const WalkChoices choices{.recursive = options.recursive,
                                                               .followLinks = options.followLinks,
                                                               .withStatus = options.recursive,
                                                               .identityWillDo = true,
                                                               .exclusions = exclusions,
                                                               .oneFileSystem = options.walk.oneFileSystem};
                                     fileItems(*context.files, operands, choices, streamUseFor(kind), sink);
                                   });
  if (auto started = run.start(); !started) {
    printError(started.error().text());
    return kExitFailed;
  }
  const LineStyle style{algorithmName(kind), options.tag, options.binary.value_or(false), options.zero};
  const std::string nameKey = options.assets ? "asset" : "path";
  std::size_t failed = 0;
  run.run([&](std::size_t, const Item& item, Outcome& outcome) {
    nlohmann::ordered_json object;
    if (options.json) putName(object, nameKey, item.name);
    if (!outcome.digest) {
      ++failed;
      run.progress().printLine("corvane: " + quoteName(item.name) + ": " + outcome.error);
      if (!options.json) return true;
      object["error"] = outcome.error;
      return run.progress().printOut(jsonLine(object));
    }
    if (options.json) {
      if (const auto size = outcome.size) object["size"] = *size;
      object[jsonKey(kind)] = *outcome.digest;
      return run.progress().printOut(jsonLine(object));
    }
    return run.progress().printOut(formatDigestLine(style, *outcome.digest, item.name), options.zero ? '\0' : '\n');
  });
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

CLI::App* addDigestCommand(CLI::App& app, DigestKind kind, DigestOptions& options, CommonOptions& common) {
  const bool fingerprint = kind == DigestKind::kFingerprint;
  const std::string name = fingerprint ? "fingerprint" : "hash";
  const std::string algorithm = algorithmName(kind);
  auto* command = app.add_subcommand(
      name, fingerprint ? "Print sampled fingerprints: the size and five 16 KiB samples, fast for any size"
                        : "Print SHA-256 hashes of whole files, as sha256sum does");
  command
      ->add_option("FILE", options.operands,
                   "Files ('-' or none: standard input), folders with -r, asset identifiers with --asset, "
                   "lists with -c")
      ->type_name("");
  command->add_flag("-r,--recursive", options.recursive,
                    "Walk into folders: every regular file below them, as find -type f lists them, in byte order");
  command->add_flag("-L,--follow", options.followLinks, "With -r, follow links to files and folders, as find -L does");
  addWalkOptions(*command, options.walk);
  command->add_option("-j,--jobs", options.threads, "Calls to run at once, 1 to 1024 (default: one per processor)")
      ->type_name("N")
      ->check(callCount());
  command->add_flag("--json", options.json, "One JSON object per operand, failures included (see below)");
  command->add_flag("--tag", options.tag, "Print BSD-style lines: " + algorithm + " (FILE) = DIGEST");
  command->add_flag("-z,--zero", options.zero,
                    "End lines with NUL and leave names unescaped; with -c, read NUL-ended lists");
  command
      ->add_flag_callback(
          "-b,--binary", [&options] { options.binary = true; }, "Mark names with '*' (binary mode)")
      ->trigger_on_parse();
  command
      ->add_flag_callback(
          "-t,--text", [&options] { options.binary = false; },
          "Text mode, the default (there is no difference on this system)")
      ->trigger_on_parse();
  command->add_flag("--asset", options.assets,
                    fingerprint ? "The operands are video identifiers of the photo library"
                                : "The operands are asset identifiers of the photo library");
  command->add_option("--library", options.library, "The photo library folder (default: your pictures folder)")
      ->type_name("DIR");

  const std::string check = "Checking (-c)";
  command
      ->add_flag("-c,--check", options.check,
                 "Read digests from the lists and check them ('-' or none: standard input)")
      ->group(check);
  command->add_flag("--ignore-missing", options.ignoreMissing, "Don't fail or report status for missing files")
      ->group(check);
  command->add_flag("--status", options.status, "Don't print anything; the exit status shows success")->group(check);
  command->add_flag("--strict", options.strict, "Exit non-zero for improperly formatted lines")->group(check);
  command->add_flag("-w,--warn", options.warn, "Warn about improperly formatted lines")->group(check);
  addCommonOptions(*command, common);
  // As in sha256sum, the last of --status, --warn and --quiet decides what a check prints.
  command->parse_complete_callback([command, &options, &common] {
    for (const CLI::Option* option : command->parse_order()) {
      if (option->check_name("--status")) {
        options.status = true;
        options.warn = false;
      } else if (option->check_name("--warn")) {
        options.status = false;
        options.warn = true;
        common.quiet = false;
      } else if (option->check_name("--quiet")) {
        options.status = false;
        options.warn = false;
        common.quiet = true;
      }
    }
  });

  const std::string list = fingerprint ? "archive.fingerprints" : "archive.sha256";
  std::string examples =
      "  corvane " + name + " photo.jpg video.mov\n" + "  corvane " + name + " -r ~/Archive > " + list + "\n" +
      "  corvane " + name + " -c " + list + "          check every file\n" + "  corvane " + name + " -c --quiet " +
      list + "  print only what failed\n" + "  tar -c ~/Archive | corvane " + name + "         standard input\n" +
      "  corvane " + name + " --json -r ~/Archive\n" + "  corvane " + name +
      " -r -x --exclude .git --exclude '*.tmp' ~/Archive\n" + "  corvane " + name + " --library ~/Pictures --asset " +
      (fingerprint ? "'Holidays/sea waves.avi'\n" : "Holidays/beach.png\n");
  examples += "\nWith --json: {\"path\",\"size\",\"" + std::string(jsonKey(kind)) +
              "\"}, or {\"path\",\"error\"} for a failure. A path that is not\n"
              "UTF-8 also comes exactly, in base64, as \"path_base64\" (\"asset\", \"asset_base64\" with --asset).\n"
              "Names with a backslash or a line break are escaped in lines as sha256sum escapes them.\n"
              "A checked list whose every digest fails, and whose first failures pass as " +
              (fingerprint ? std::string("SHA-256 lines,\nends with a hint to use 'corvane hash -c'")
                           : std::string("fingerprint lines,\nends with a hint to use 'corvane fingerprint -c'")) +
              "; the status is still 1.\n";
  examples += fingerprint
                  ? "\nStandard input, FIFOs and character devices are kept first (64 MiB in memory, the rest in\n"
                    "an unnamed file in $TMPDIR), since the size comes first. A block device is read whole.\n"
                  : "\nStandard input, FIFOs and character devices are hashed as they arrive, keeping nothing;\n"
                    "a block device is read whole. In a walk, devices, FIFOs and sockets are left out.\n";
  examples += kExclusionRules;
  examples += fingerprint ? "\nA fingerprint sees the file's size and five sampled 16 KiB pieces only: it tells most\n"
                            "changes fast, but is no integrity check. Use 'corvane hash' for that.\n"
                          : "\nThe output is accepted by 'sha256sum -c', and the other way round.\n";
  command->footer(helpFooter(examples,
                             "  0  every digest printed; checking: every listed file matched\n"
                             "  1  some file failed, or did not match; standard output could not be written; or the\n"
                             "     run could not go on (out of memory, say)\n"
                             "  2  the command line is wrong"));
  return command;
}

int runDigest(const Context& context, DigestKind kind, const DigestOptions& options) {
  if (const auto why = misuse(options)) {
    printError(*why);
    return kExitUsage;
  }
  std::optional<std::string> library;
  if (options.assets) {
    auto location = libraryLocation(*context.files, options.library, true);
    if (!location) {
      printError(location.error().text());
      return kExitFailed;
    }
    library = std::move(*location);
  }
  if (options.check) return checkLists(context, kind, options, library);
  const auto exclusions = exclusionsOf(*context.files, options.walk);
  if (!exclusions) {
    printError(exclusions.error().text());
    return kExitUsage;
  }
  return printDigests(context, kind, options, library, *exclusions);
}

}  // namespace corvane::tool
