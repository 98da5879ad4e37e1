#include "dupes/dupes_command.h"

#include <algorithm>
#include <thread>

#include <CLI/CLI.hpp>

#include "cli/exit_status.h"
#include "cli/option_values.h"
#include "dupes/acting_run.h"
#include "dupes/catalog_dupes.h"
#include "dupes/dupes_finder.h"
#include "dupes/dupes_output.h"
#include "inputs/photo_folder.h"
#include "plugin/plugin_client.h"
#include "run/thread_budget.h"
#include "text/escape.h"
#include "text/output.h"
#include "text/progress.h"

namespace corvane::tool {
namespace {

// What asks for files to be read or changed, which a catalog's answer leaves alone.
std::optional<std::string> catalogMisuse(const DupesOptions& options) {
  if (!options.operands.empty()) return "--catalog answers from a catalog; it takes no paths";
  if (options.recursive || options.followLinks || options.walk.given())
    return "-r, -L, --exclude, --exclude-from and -x walk folders; they do not go with --catalog";
  if (options.library || options.album) return "--library and --catalog are two sources; choose one";
  if (options.act || options.from) return "--catalog reads no file, and changes none: --act and --from need a scan";
  if (options.paranoid) return "--paranoid reads files byte by byte; --catalog reads none";
  if (options.hardLinks) return "-H lists names of one file found by a walk; --catalog counts them once";
  return std::nullopt;
}

std::optional<std::string> misuse(const DupesOptions& options) {
  if (options.catalog) {
    if (const auto why = catalogMisuse(options)) return why;
  }
  const bool library = options.library || options.album;
  if (library && !options.operands.empty()) return "--library looks at a library's assets; it takes no paths";
  if (library && (options.recursive || options.followLinks || options.walk.given()))
    return "-r, -L, --exclude, --exclude-from and -x walk folders; they do not go with --library";
  if (options.from && options.walk.given())
    return "--exclude, --exclude-from and -x walk folders; they do not go with --from";
  if (const auto why = actingMisuse(options)) return why;
  if (!library && options.operands.empty() && !options.from && !options.catalog) return "no paths given";
  if (options.json && options.nul) return "--json and -0 are two output formats; choose one";
  if (options.probable && options.paranoid)
    return "--probable leaves groups unconfirmed; --paranoid confirms all of them";
  if (options.maxSize && *options.maxSize < options.minSize) return "--max-size is below --min-size";
  return std::nullopt;
}

std::string bytesWithUnit(std::uint64_t bytes) {
  return std::to_string(bytes) + " bytes (" + bytesText(static_cast<double>(bytes)) + ")";
}

std::string count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string summary(std::size_t scanned, const FinderResult& result, std::size_t unlisted) {
  std::size_t groups = 0, probable = 0, copies = 0;
  std::uint64_t occupied = 0;
  for (const auto& group : result.groups) {
    if (group.probable) {
      ++probable;
      continue;
    }
    ++groups;
    copies += group.members.size() - 1;
    occupied += (group.members.size() - 1) * group.size;
  }
  std::string text = "corvane: " + count(scanned, "file", "files") + " scanned, " + count(groups, "group", "groups") +
                     " of duplicates, " + count(copies, "extra copy", "extra copies") + " occupying " +
                     bytesWithUnit(occupied) + ", " + bytesWithUnit(result.bytesRead) + " read";
  if (probable != 0) text += ", " + count(probable, "probable group", "probable groups") + " (unconfirmed)";
  if (result.changed != 0) text += ", " + count(result.changed, "file", "files") + " changed during the run";
  if (result.failed + unlisted != 0) text += ", " + count(result.failed + unlisted, "file", "files") + " unreadable";
  return text;
}

// Groups and, when asked for, the sets of names of one file, in the order of their first names.
void printGroups(const Members& members, const FinderResult& result, const DupesOptions& options, DupesOutput& output) {
  struct Item {
    std::size_t first;
    const DuplicateGroup* group;
    const std::vector<std::size_t>* sameFile;
  };
  std::vector<Item> items;
  for (const auto& group : result.groups) items.push_back({group.members.front(), &group, nullptr});
  if (options.hardLinks) {
    for (const auto& names : result.sameFiles) items.push_back({names.front(), nullptr, &names});
  }
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& item : items) {
    PrintedGroup printed;
    const auto& indices = item.group ? item.group->members : *item.sameFile;
    for (const auto i : indices) printed.names.push_back(members[i].name);
    if (options.json) {
      for (const auto i : indices) printed.statuses.push_back(members.status(i));
    }
    printed.size = members.status(indices.front()).size;
    if (item.group) {
      printed.kind = item.group->probable ? PrintedGroup::Kind::kProbable : PrintedGroup::Kind::kDuplicates;
      printed.sha256 = item.group->sha256;
      printed.fingerprint = item.group->fingerprint;
    } else {
      printed.kind = PrintedGroup::Kind::kSameFile;
    }
    output.print(printed);
  }
}

}  // namespace

CLI::App* addDupesCommand(CLI::App& app, DupesOptions& options, CommonOptions& common) {
  auto* command = app.add_subcommand(
      "dupes", "Print groups of files with identical content, found by size, fingerprint and a full confirmation");
  command->add_option("PATH", options.operands, "Files, and folders: the files directly in them (with -r, below them)");
  command->add_flag("-r,--recursive", options.recursive,
                    "Walk into folders: every regular file below them, as find -type f lists them");
  command->add_flag("-L,--follow", options.followLinks, "Follow links to files and folders, as find -L does");
  addWalkOptions(*command, options.walk);
  command->add_option("-j,--jobs", options.threads, "Calls to run at once, 1 to 1024 (default: one per processor)")
      ->type_name("N")
      ->check(callCount());
  command
      ->add_option("--min-size", options.minSize,
                   "Leave out files smaller than SIZE: bytes, or a whole number followed by K, M, G, T, P or E "
                   "for powers of 1024 (10K, 5M, 1G)")
      ->type_name("SIZE")
      ->transform(byteSize());
  command->add_option("--max-size", options.maxSize, "Leave out files larger than SIZE (as --min-size)")
      ->type_name("SIZE")
      ->transform(byteSize());
  command->add_flag("--empty", options.empty, "Empty files are duplicates of each other too");
  command->add_flag("-H,--hard-links", options.hardLinks,
                    "Also list the names that are one file (hard links, or links followed with -L), marked same-file");
  command->add_flag("--probable", options.probable,
                    "List matches of the sampled fingerprint without confirming them, marked probable");
  command->add_flag("--paranoid", options.paranoid,
                    "Confirm every group byte by byte, also those a whole-content hash settled");
  command->add_flag("--json", options.json,
                    "Print one JSON object per group: size, sha256, paths and files (device, inode, size and "
                    "modification time of each, for --from)");
  command->add_flag("-0,-z,--null", options.nul, "End each name with a NUL byte, and each group with one more");
  command->add_option("--library", options.library, "Look at the assets of this photo library folder instead of paths")
      ->type_name("DIR");
  command
      ->add_option("--album", options.album,
                   "Only the assets of this album (of --library, else of your pictures folder)")
      ->type_name("ALBUM");
  command
      ->add_option("--catalog", options.catalog,
                   "Groups that a catalog holds across all its roots and machines, from its SHA-256 alone: no file "
                   "is read; each name is MACHINE:/ROOT/PATH")
      ->type_name("CATALOG");
  command
      ->add_option("--act", options.act,
                   "Do ACTION to every duplicate, checked first: reflink (share the kept file's extents; "
                   "nothing changes for readers), link (replace it by a hard link to the kept file) or remove")
      ->type_name("ACTION")
      ->check(CLI::IsMember({"reflink", "link", "remove"}));
  command
      ->add_option("--from", options.from,
                   "Act on the groups of a report that --json wrote (- for standard input) instead of scanning")
      ->type_name("FILE");
  command
      ->add_option("--keep", options.keep,
                   "The file of each group kept: first (in walk or report order, the default), oldest, newest or "
                   "shortest (name); ties go to the earlier")
      ->type_name("RULE")
      ->check(CLI::IsMember({"first", "oldest", "newest", "shortest"}));
  command
      ->add_option("--keep-in", options.keepIn, "Never change files below DIR (repeatable); a group with one keeps it")
      ->type_name("DIR");
  command->add_flag("--dry-run", options.dryRun, "Check and say what --act would do, and change nothing");
  addCommonOptions(*command, common);
  command->footer(helpFooter(
      "  corvane dupes -r ~/Archive                  groups of identical files, a blank line after each\n"
      "  corvane dupes -r --min-size 1M ~/Videos     large files only\n"
      "  corvane dupes -r --json ~/Archive           one JSON object per group, with its SHA-256\n"
      "  corvane dupes -r --probable ~/Videos        fast: fingerprint matches, unconfirmed\n"
      "  corvane dupes ~/Downloads                   the folder's own files, none below\n"
      "  corvane dupes -r -x --exclude .git ~/src    not in .git folders, nor other file systems\n"
      "  corvane dupes --library ~/Pictures --album Holidays\n"
      "  corvane dupes -r ~/Archive --act link --keep oldest --dry-run\n"
      "  corvane dupes -r --json ~/Archive > report.json; corvane dupes --from report.json --act reflink\n"
      "  corvane dupes --catalog all.catalog         across every machine of a catalog, no file read\n"
      "\nA group is confirmed from the whole content of its files: byte by byte, or by their whole-content\n"
      "SHA-256 (which the fingerprint is, for files of up to 100 KiB). Nothing is grouped on the sampled\n"
      "fingerprint alone, except with --probable, which marks every such line. Names of one file count\n"
      "once; empty files only with --empty. A file that changes during the run is reported and left out.\n"
      "Nothing is deleted, linked or moved without --act.\n"
      "\nWith --catalog, the groups are the catalog's entries of one SHA-256 (and size), each named\n"
      "MACHINE:/ROOT/PATH, in the order of their SHA-256, names in byte order; entries without a SHA-256\n"
      "(roots scanned with --fingerprint-only) are left out and counted, and --probable adds the groups\n"
      "of one size and fingerprint that some member has no SHA-256 to confirm (its other members may\n"
      "be in a group above too). Names of one file on one machine (device and inode) count once. The\n"
      "catalog is only read; --min-size, --max-size, --empty, --json and -0 apply.\n"
      "\nWith --act, each duplicate is done one at a time, and only if it and its group's kept file are still\n"
      "the files seen (device, inode, size, modification time) and, for link and remove, equal byte by byte\n"
      "just before; for reflink the kernel compares them itself (FIDEDUPERANGE) and shares nothing that\n"
      "differs. A link replaces the duplicate in one step: a hard link under a temporary name beside it,\n"
      "swapped in. A hard link makes the names one file: they share its permissions, owner and times from\n"
      "then on, and a change through one name shows through all; it never crosses file systems, and a\n"
      "duplicate of another owner, group or permissions is refused. A duplicate open for writing elsewhere,\n"
      "or one on another file system than a kept file on an overlay, network or FUSE mount, is left alone. Every\n"
      "duplicate gets a line: what was done, or why it was left as it was. Bytes freed count files whose last\n"
      "name went; bytes shared are what the kernel shared, less what the files shared already.\n" +
          std::string(kExclusionRules),
      "  0  done\n"
      "  1  some file failed or changed, or a duplicate was refused; standard output could not be written\n"
      "  2  the command line is wrong"));
  return command;
}

int runDupes(const Context& context, const DupesOptions& options) {
  if (const auto why = misuse(options)) {
    printError(*why);
    return kExitUsage;
  }
  if (options.from) return actOnSavedReport(context, options);
  if (options.catalog) return dupesOfCatalog(context, options);
  auto exclusions = exclusionsOf(*context.files, options.walk);
  if (!exclusions) {
    printError(exclusions.error().text());
    return kExitUsage;
  }
  const auto& common = context.common;
  const bool assets = options.library || options.album;
  std::optional<PhotoFolder> library;
  if (assets) {
    auto opened = PhotoFolder::openChosen(context.files, options.library);
    if (!opened) {
      printError(opened.error().text());
      return kExitFailed;
    }
    library = std::move(*opened);
  }
  // Both sides open the library's folder: the command to list its assets, the plug-in to answer
  // for them. The plug-in's own lines (a size line per fingerprint) would bury the output; the
  // command reports every failure itself.
  auto client = PluginClient::start(context, {std::make_shared<platform::SilentConsole>(),
                                              library ? std::optional(library->location()) : std::nullopt});
  if (!client) {
    printError(client.error().text());
    return kExitFailed;
  }
  auto source = assets ? assetSource(**client, *library, options.album)
                       : fileSource(**client, context.files,
                                    {options.operands, options.recursive, options.followLinks, std::move(*exclusions),
                                     options.walk.oneFileSystem});

  const bool showProgress = !common.quiet && !common.trace && Progress::terminalAttached();
  std::size_t unlisted = 0;
  Members members;
  {
    Progress progress(showProgress, 0, "listing");
    members = source->list([&](std::uint64_t size) { progress.advance(size); },
                           [&](std::string_view name, std::string_view why) {
                             ++unlisted;
                             progress.printLine("corvane: " + quoteName(name) + ": " + std::string(why));
                           });
  }

  if (members.size() > Members::kMost) {
    printError("more than " + std::to_string(Members::kMost) + " names to look at in one run");
    return kExitFailed;
  }

  FinderSettings settings;
  settings.minSize = std::max<std::uint64_t>(options.minSize, options.empty ? 0 : 1);
  if (options.maxSize) settings.maxSize = *options.maxSize;
  settings.probable = options.probable;
  settings.paranoid = options.paranoid;
  settings.wantSha256 = options.json;
  settings.threads = threadBudget(options.threads);
  // Each file compared in step holds a descriptor: under a low limit on open files, fewer at once.
  settings.compareWindow = std::clamp<std::size_t>(descriptorsPerThread(settings.threads), 2, settings.compareWindow);
  settings.showProgress = showProgress;
  const auto result = findDuplicates(members, *source, settings);
  source.reset();
  client->reset();

  if (options.act) {
    if (!common.quiet) printErr(summary(members.size(), result, unlisted));
    std::vector<ActionGroup> groups;
    for (const auto& group : result.groups) {
      if (group.probable) continue;
      ActionGroup acted{group.size, {}, false};
      for (const auto i : group.members) acted.members.push_back({members[i].name, members.status(i)});
      groups.push_back(std::move(acted));
    }
    const int status = actOnGroups(context, options, groups, library ? &*library : nullptr);
    return status == kExitOk && (unlisted != 0 || result.changed != 0 || result.failed != 0) ? kExitFailed : status;
  }
  DupesOutput output({options.json  ? DupesFormat::kJson
                      : options.nul ? DupesFormat::kNul
                                    : DupesFormat::kLines,
                      options.probable || options.hardLinks, assets ? "assets" : "paths"});
  printGroups(members, result, options, output);
  // A failed write is said once, at the end, as by every subcommand; no summary follows it.
  const bool written = output.finish();
  if (written && !common.quiet) printErr(summary(members.size(), result, unlisted));
  return written && unlisted == 0 && result.changed == 0 && result.failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool
