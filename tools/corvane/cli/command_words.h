#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_forward.h"
#include "cli/error.h"

namespace corvane::tool {

// The name among `names` that a mistyped `word` most likely meant: the nearest by edit distance
// (a swap of two letters counts one), if it is near enough to be a typo.
std::optional<std::string> closestName(std::string_view word, const std::vector<std::string>& names);

// The command line's subcommand words checked against the command's tree before parsing: an
// unknown one, at any level, is an error that names the closest ("did you mean 'hash'?"), and
// `help [SUBCOMMAND...]` becomes `SUBCOMMAND... --help`. `arguments` excludes the program name;
// options that take a value before a subcommand (--plugin PATH) are passed over with it.
Result<std::vector<std::string>> checkSubcommandWords(const CLI::App& app, std::vector<std::string> arguments);

}  // namespace corvane::tool
