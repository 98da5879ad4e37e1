#include "catalog/catalog_command.h"

#include <CLI/CLI.hpp>

#include "cli/option_values.h"

namespace corvane::tool::catalog {
namespace {

constexpr const char* kCatalogStatuses =
    "  0  done (diff: the sides hold the same; verify: nothing changed under unchanged metadata)\n"
    "  1  some file failed, or a row of a catalog breaks its rules; diff: the sides differ; verify:\n"
    "     some content is corrupt; standard output could not be written\n"
    "  2  the command line is wrong";

void addJobs(CLI::App& command, CatalogOptions& options) {
  command.add_option("-j,--jobs", options.threads, "Calls to run at once, 1 to 1024 (default: one per processor)")
      ->type_name("N")
      ->check(callCount());
}

}  // namespace

void addCatalogCommand(CLI::App& app, CatalogOptions& options, CommonOptions& common) {
  auto* catalog =
      app.add_subcommand("catalog", "Keep fingerprints in a catalog: re-scan what changed, compare two sides");
  catalog->require_subcommand(1);
  catalog->fallthrough();
  addCommonOptions(*catalog, common);
  catalog->footer(
      helpFooter("  corvane catalog scan archive.catalog ~/Archive        first scan: every file read\n"
                 "  corvane catalog scan archive.catalog                  later: only what changed is read\n"
                 "  corvane catalog verify archive.catalog                re-read unchanged files: silent corruption?\n"
                 "  corvane catalog diff phone.catalog archive.catalog    what differs between two sides\n"
                 "  corvane catalog diff --missing phone.catalog archive.catalog > to-send\n"
                 "  corvane catalog export --json archive.catalog\n"
                 "  corvane catalog roots archive.catalog                 what it holds, and when each was scanned\n"
                 "  corvane catalog scan -x --exclude .cache home.catalog ~  kept for later scans\n"
                 "  corvane catalog where all.catalog photo.jpg           which machines hold a copy of it?\n"
                 "\nRun 'corvane catalog SUBCOMMAND --help' for each one's options.\n",
                 kCatalogStatuses));

  auto* scan = catalog->add_subcommand(
      "scan", "Record every file below the folders (or every asset of a library), reading only what changed");
  addCommonOptions(*scan, common);
  scan->add_option("CATALOG", options.catalog,
                   "The catalog: a file, a postgresql:// URI or service=NAME (made when it does not exist)")
      ->required();
  scan->add_option("PATH", options.paths,
                   "Folders to scan (default: every folder and library the catalog has of this machine)");
  scan->add_option("--library", options.library, "Scan this photo library folder: its assets by identifier")
      ->type_name("DIR");
  auto* hash = scan->add_flag("--hash", options.hash,
                              "Record SHA-256 again for folders scanned with --fingerprint-only (the default for new "
                              "folders)");
  scan->add_flag("--fingerprint-only", options.fingerprintOnly,
                 "Record only fingerprints, which read five samples of a large file: faster, but verify and export "
                 "then see samples only (kept for later scans of these folders)")
      ->excludes(hash);
  addWalkOptions(*scan, options.walk);
  scan->add_flag("--json", options.json, "List what changed, one JSON object per line, then the counts");
  addJobs(*scan, options);
  scan->fallthrough();
  scan->footer(
      "Records the size, times, fingerprint and SHA-256 of every file. A file is read again only when its\n"
      "device, inode, size, modification or change time moved. A folder inside one the catalog has is\n"
      "scanned as that part of it. The catalog's own files are never recorded. Scans of one catalog take\n"
      "turns. Prints the counts of new, changed, unchanged, removed and moved (same content, new path)\n"
      "files.\n"
      "\nA folder's exclusions and -x are kept: a scan that names no folders applies them again. A scan\n"
      "that names a folder with --exclude, --exclude-from or -x replaces them all (what they now leave\n"
      "out is removed from the catalog); one that names it with none of them keeps them, and\n"
      "--exclude-from /dev/null drops them all. Patterns read from a list are kept, not the list's\n"
      "name. A part of a folder is scanned by its rules.\n" +
      std::string(kExclusionRules));

  auto* verify =
      catalog->add_subcommand("verify", "Re-read the files whose metadata did not change: has their content?");
  addCommonOptions(*verify, common);
  verify->add_option("CATALOG", options.catalog, "The catalog: a file, a postgresql:// URI or service=NAME")
      ->required();
  verify->add_flag("--json", options.json, "One JSON object per finding, then the counts");
  addJobs(*verify, options);
  verify->fallthrough();
  verify->footer(
      "Content is judged by size and modification time: a file whose two are as recorded but whose\n"
      "content differs is corrupt (the line says when its change time moved too, as when bytes are\n"
      "written and the time put back); a file whose size or modification time moved is changed, and\n"
      "not read. A moved change time alone (chmod, a new link) is re-read and passes if the content\n"
      "is the same. Entries with a SHA-256 are checked whole; the others by their fingerprint's\n"
      "samples only. Only this machine's folders are read; nothing is written to the catalog.\n"
      "Exit status 1 when some content is corrupt or could not be read.");

  auto* diff = catalog->add_subcommand("diff", "Compare two sides, each a catalog or a folder to scan");
  addCommonOptions(*diff, common);
  diff->add_option("A", options.sideA, "A catalog (a file, a URI or service=NAME), or a folder")->required();
  diff->add_option("B", options.sideB, "A catalog (a file, a URI or service=NAME), or a folder")->required();
  diff->add_flag("--missing", options.missing,
                 "Print only what A holds and B lacks, as digest lines (\"<digest>  <path>\"), with A's paths");
  diff->add_flag("--hash", options.hash, "Record SHA-256 too for a side that is a folder");
  diff->add_flag("--json", options.json, "One JSON object per finding, then the counts");
  addJobs(*diff, options);
  diff->fallthrough();
  diff->footer(
      "Paths are compared relative to the scanned folders (when a side has several, whole).\n"
      "Contents match by size and fingerprint, confirmed by SHA-256 where both sides have it.\n"
      "Exit status 0 when the sides hold the same, 1 when they differ.");

  auto* exportCommand = catalog->add_subcommand("export", "Print a catalog as sha256sum lines, or as JSON");
  addCommonOptions(*exportCommand, common);
  exportCommand->add_option("CATALOG", options.catalog, "The catalog: a file, a postgresql:// URI or service=NAME")
      ->required();
  exportCommand->add_flag("--fingerprint", options.fingerprint,
                          "Fingerprint lines, as 'corvane fingerprint' prints them");
  exportCommand->add_flag("--json", options.json, "One JSON object per entry");
  exportCommand->fallthrough();
  exportCommand->footer(
      "The lines are accepted by 'sha256sum -c' and 'corvane hash -c' (with --fingerprint, by\n"
      "'corvane fingerprint -c'). Entries without that digest are counted on standard error.");

  auto* merge = catalog->add_subcommand("merge", "Take the folders of other catalogs into one");
  addCommonOptions(*merge, common);
  merge
      ->add_option(
          "CATALOG", options.catalog,
          "The catalog to merge into: a file, a postgresql:// URI or service=NAME (made when it does not exist)")
      ->required();
  merge->add_option("SOURCE", options.paths, "Catalogs to take in (files, URIs or service=NAME)")->required();
  merge->fallthrough();
  merge->footer("For each folder, the catalog that scanned it last wins.");

  auto* roots = catalog->add_subcommand("roots", "List the folders and libraries a catalog holds");
  addCommonOptions(*roots, common);
  roots->add_option("CATALOG", options.catalog, "The catalog: a file, a postgresql:// URI or service=NAME")->required();
  roots->add_flag("--json", options.json, "One JSON object per root");
  roots->fallthrough();
  roots->footer(
      "Each line: machine, kind (folder or library), entries, whether scans record SHA-256\n"
      "(sha256 or fingerprint-only), the last whole scan (local time, or never), and the path; below it,\n"
      "\"  one file system\" for a folder scanned with -x, and \"  exclude PATTERN\" for each exclusion.");

  auto* forget = catalog->add_subcommand("forget", "Remove folders or libraries, and their entries, from a catalog");
  addCommonOptions(*forget, common);
  forget->add_option("CATALOG", options.catalog, "The catalog: a file, a postgresql:// URI or service=NAME")
      ->required();
  forget
      ->add_option(
          "ROOT", options.paths,
          "A root as 'catalog roots' lists it: its path on this machine, or the machine's name, a colon and its path")
      ->required();
  forget->fallthrough();
  forget->footer("Nothing is removed unless every root named is in the catalog.");

  auto* where = catalog->add_subcommand("where", "Say which roots, on which machines, hold a file's content");
  addCommonOptions(*where, common);
  where->add_option("CATALOG", options.catalog, "The catalog: a file, a postgresql:// URI or service=NAME")->required();
  where->add_option("FILE", options.paths, "Files to look for: each is read, through the plug-in")->required();
  where->add_flag("--json", options.json, "One JSON object per file: its digests and every holder");
  addJobs(*where, options);
  where->fallthrough();
  where->footer(
      "Each FILE is read whole (fingerprint and SHA-256); the catalog answers which entries hold the\n"
      "same content, with one line each: \"FILE: MACHINE:/ROOT/PATH\", ending in \" (fingerprint only)\"\n"
      "when the entry has no SHA-256 and matched by size and fingerprint alone (a root scanned with\n"
      "--fingerprint-only). A file the catalog holds nowhere gets \"FILE: held nowhere\". No file of the\n"
      "catalog is read; a read-only catalog will do.\n"
      "Exit status 0 when every FILE is held somewhere, 1 when one is not or cannot be read.");
}

std::optional<int> runCatalogCommand(const CLI::App& app, const Context& context, const CatalogOptions& options) {
  if (!app.got_subcommand("catalog")) return std::nullopt;
  const auto* catalog = app.get_subcommand("catalog");
  if (catalog->got_subcommand("scan")) return runScan(context, options);
  if (catalog->got_subcommand("verify")) return runVerify(context, options);
  if (catalog->got_subcommand("diff")) return runDiff(context, options);
  if (catalog->got_subcommand("export")) return runExport(context, options);
  if (catalog->got_subcommand("roots")) return runRoots(context, options);
  if (catalog->got_subcommand("forget")) return runForget(context, options);
  if (catalog->got_subcommand("where")) return runWhere(context, options);
  return runMerge(context, options);
}

}  // namespace corvane::tool::catalog
