#include "cli/command_words.h"

#include <algorithm>

#include <CLI/CLI.hpp>

namespace corvane::tool {
namespace {

// Optimal string alignment distance: insertions, deletions, substitutions and swaps.
std::size_t distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::vector<std::string> subcommandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const auto* sub : app.get_subcommands({})) names.push_back(sub->get_name());
  return names;
}

// Whether `word` is an option of `app` that takes a value in the next word.
bool takesValue(const CLI::App& app, const std::string& word) {
  if (!word.starts_with("-") || word.find('=') != std::string::npos) return false;
  const auto* option = app.get_option_no_throw(word);
  return option != nullptr && option->get_items_expected_max() > 0;
}

}  // namespace

std::optional<std::string> closestName(std::string_view word, const std::vector<std::string>& names) {
  std::optional<std::string> best;
  std::size_t bestDistance = 0;
  for (const auto& name : names) {
    const auto d = distance(word, name);
    if (!best || d < bestDistance) {
      best = name;
      bestDistance = d;
    }
  }
  // A third of the word, at least one: "hsah" for "hash", not "x" for "call".
  if (!best || bestDistance > std::max<std::size_t>(1, word.size() / 3)) return std::nullopt;
  return best;
}

Result<std::vector<std::string>> checkSubcommandWords(const CLI::App& app, std::vector<std::string> arguments) {
  const CLI::App* level = &app;
  std::string path;  // the subcommands so far, for messages
  bool help = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--") break;
    if (word.starts_with("-") && word.size() > 1) {
      if (takesValue(*level, word)) ++i;
      continue;
    }
    const auto names = subcommandNames(*level);
    if (names.empty()) break;  // operands from here on
    if (level == &app && word == "help" && !help) {
      help = true;
      arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i--));
      continue;
    }
    if (std::find(names.begin(), names.end(), word) == names.end()) {
      std::string why = "unknown subcommand '" + word + "'";
      if (!path.empty()) why += " of '" + path + "'";
      if (const auto closest = closestName(word, names)) why += "; did you mean '" + *closest + "'?";
      return failure(why);
    }
    level = level->get_subcommand(word);
    path += (path.empty() ? "" : " ") + word;
  }
  if (help) arguments.push_back("--help");
  return arguments;
}

}  // namespace corvane::tool
