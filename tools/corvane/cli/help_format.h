#pragma once

#include <memory>

#include "cli/cli_forward.h"

namespace corvane::tool {

// Help that names values in words: an option shows its placeholder (-j N, --library DIR) and a
// positional its name alone, never the parser's type strings, defaults or REQUIRED. Subcommands
// take the formatter of their parent when they are added, so the top level sets it first.
std::shared_ptr<CLI::Formatter> helpFormatter();

}  // namespace corvane::tool
