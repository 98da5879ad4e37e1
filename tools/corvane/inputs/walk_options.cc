#include "inputs/walk_options.h"

#include <CLI/CLI.hpp>

namespace corvane::tool {

const char* const kExclusionRules =
    "\nA pattern of --exclude is a shell glob. Without a slash it matches a name at any depth (\"*.tmp\",\n"
    "\".git\"); with one it matches the whole path below the folder named, '*' never crossing a slash\n"
    "(\"src/*/build\"); a leading '/' anchors it there (\"/build\": the top-level build only); a trailing\n"
    "'/' matches folders only (\"cache/\"). An excluded folder is not entered. --exclude-from reads one\n"
    "pattern a line, skipping empty lines and lines that start with '#', dropping a CR before the end.\n";

void addWalkOptions(CLI::App& command, WalkRuleOptions& options) {
  command
      .add_option("--exclude", options.exclude,
                  "Leave out files and folders that match PATTERN (a name, or a path below the folder; repeatable)")
      ->type_name("PATTERN")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--exclude-from", options.excludeFrom, "Leave out what the patterns of FILE match, one a line")
      ->type_name("FILE")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_flag("-x,--one-file-system", options.oneFileSystem,
                   "Do not enter folders on other file systems than the folder named, as find -xdev");
}

Result<Exclusions> exclusionsOf(platform::FileSystem& fileSystem, const WalkRuleOptions& options) {
  std::vector<std::string> patterns = options.exclude;
  for (const auto& list : options.excludeFrom) {
    auto read = readPatterns(fileSystem, list);
    if (!read) return failure(read.error().within("--exclude-from"));
    patterns.insert(patterns.end(), read->begin(), read->end());
  }
  auto exclusions = Exclusions::of(std::move(patterns));
  if (!exclusions) return failure(exclusions.error().within("--exclude"));
  return exclusions;
}

}  // namespace corvane::tool
