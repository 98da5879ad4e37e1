#include "cli/common_options.h"

#include <CLI/CLI.hpp>

namespace corvane::tool {

void addCommonOptions(CLI::App& command, CommonOptions& common) {
  const std::string group = "Common options";
  command
      .add_flag("-q,--quiet", common.quiet,
                "No progress display, no plug-in lines; with -c, no OK lines (sha256sum's --quiet)")
      ->group(group);
  command
      .add_flag("-v,--verbose", common.verbose,
                "Show the plug-in's own lines (such as 'File size: N bytes') on standard error")
      ->group(group);
  command.add_flag("--trace", common.trace, "Show each call's and reply's bytes on standard error")->group(group);
  command
      .add_option("--plugin", common.plugin,
                  "The plug-in library to load (default: $CORVANE_PLUGIN, else beside the command or in ../lib)")
      ->option_text("PATH")
      ->group(group);
}

std::string helpFooter(const std::string& examples, const std::string& statuses) {
  return "Examples:\n" + examples + "\nExit status:\n" + statuses;
}

}  // namespace corvane::tool
