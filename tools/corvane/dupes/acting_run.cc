#include "dupes/acting_run.h"

#include <csignal>

#include "cli/exit_status.h"
#include "dupes/dupes_action.h"
#include "dupes/keep_choice.h"
#include "dupes/saved_report.h"
#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool {
namespace {

DupesAction actionNamed(const std::string& word) {
  if (word == "reflink") return DupesAction::kReflink;
  if (word == "remove") return DupesAction::kRemove;
  return DupesAction::kLink;
}

// The whole of a report, from a file or standard input.
Result<std::string> readReport(platform::FileSystem& files, const std::string& name) {
  std::unique_ptr<platform::Stream> stream;
  if (name == "-") {
    stream = files.standardInput();
  } else {
    auto opened = files.openStream(name);
    if (!opened) return failure(Error::ofFile(opened.error()));
    stream = std::move(*opened);
  }
  std::string text;
  std::vector<std::uint8_t> buffer(64 << 10);
  for (;;) {
    const auto n = stream->read(buffer);
    if (!n) return failure(Error::ofFile(n.error(), name == "-" ? "standard input" : name));
    if (*n == 0) return text;
    text.append(reinterpret_cast<const char*>(buffer.data()), *n);
  }
}

// A library's group whose names are not all its assets is left alone whole: a report edited by
// hand cannot reach files the library does not hold.
std::optional<std::string> notAnAsset(const ActionGroup& group, const PhotoFolder& library) {
  for (const auto& member : group.members) {
    if (!library.assetStatus(member.name)) return quoteName(member.name) + " is not an asset of the library";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> actingMisuse(const DupesOptions& options) {
  if (!options.act) {
    if (options.from) return "--from reads a report to act on: give --act too";
    if (options.dryRun || !options.keepIn.empty() || options.keep != "first")
      return "--keep, --keep-in and --dry-run go with --act";
    return std::nullopt;
  }
  if (options.from && !options.operands.empty()) return "--from acts on a report's files; it takes no paths";
  if (options.from && (options.recursive || options.followLinks || options.album))
    return "--from acts on a report's files; it walks nothing";
  if (options.probable) return "--probable groups are unconfirmed; nothing is done to them";
  if (options.nul) return "--act prints a line per file; -0 does not go with it";
  if (options.hardLinks) return "-H lists names of one file; there is nothing to do to them";
  return std::nullopt;
}

int actOnGroups(const Context& context, const DupesOptions& options, const std::vector<ActionGroup>& groups,
                const PhotoFolder* library) {
  const auto rule = keepRuleNamed(options.keep).value_or(KeepRule::kFirst);
  const std::string base = library ? library->location() : std::string();
  const auto keepIn = KeepInFolders::resolve(context.files, options.keepIn, base);
  if (!keepIn) {
    printError(keepIn.error().text());
    return kExitUsage;
  }
  std::unique_ptr<platform::Directory> root;
  if (library) {
    auto opened = context.files->openDirectory(nullptr, base, platform::Resolve::kFollow);
    if (!opened) {
      printError(Error::ofFile(opened.error()).within("cannot open the library").text());
      return kExitFailed;
    }
    root = std::move(*opened);
  }
  const auto action = actionNamed(*options.act);
  ActionLog log(options.json, options.dryRun);
  DuplicateActor actor(context.files, root.get(), {action, options.dryRun}, log);
  // A lease taken to see whether a duplicate is open for writing may be broken by a writer for an
  // instant; the kernel tells with SIGIO, which would otherwise end the run.
  ::signal(SIGIO, SIG_IGN);
  for (const auto& group : groups) {
    if (log.broken()) break;
    if (group.members.size() < 2) continue;
    const auto choice = chooseKept(group, rule, *keepIn);
    if (library) {
      if (const auto why = notAnAsset(group, *library)) {
        for (std::size_t i = 0; i < group.members.size(); ++i) {
          if (i == choice.kept) continue;
          log.record({action, group.members[i].name, group.members[choice.kept].name, Outcome::kRefused, *why, 0});
        }
        continue;
      }
    }
    actor.act(group, choice);
  }
  const bool written = log.finish();
  if (!written) printError("stopped: the record of what was done could not be written");
  if (written && !context.common.quiet) printErr(log.summary(action));
  return written && !log.anyRefused() ? kExitOk : kExitFailed;
}

int actOnSavedReport(const Context& context, const DupesOptions& options) {
  const auto text = readReport(*context.files, *options.from);
  if (!text) {
    printError(text.error().within("cannot read the report").text());
    return kExitFailed;
  }
  const auto report = parseSavedReport(*text);
  if (!report) {
    printError(report.error().within("the report " + quoteName(*options.from) + " cannot be used").text());
    return kExitFailed;
  }
  const bool assets = options.library.has_value();
  if (report->assets != assets && !report->groups.empty()) {
    printError(report->assets ? "the report lists a library's assets: name the library with --library"
                              : "the report lists paths, not assets: it goes without --library");
    return kExitUsage;
  }
  std::optional<PhotoFolder> library;
  if (assets) {
    auto opened = PhotoFolder::openChosen(context.files, options.library);
    if (!opened) {
      printError(opened.error().text());
      return kExitFailed;
    }
    library = std::move(*opened);
  }
  return actOnGroups(context, options, report->groups, library ? &*library : nullptr);
}

}  // namespace corvane::tool
