#include "cli/command_words.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

namespace corvane::tool {
namespace {

TEST(CommandWords, SuggestsTheClosestSubcommandAndTurnsHelpIntoHelp) {
  CLI::App app;
  std::string plugin;
  app.add_option("--plugin", plugin);
  app.add_flag("-q");
  app.add_subcommand("fingerprint");
  app.add_subcommand("hash");
  app.add_subcommand("dupes");
  auto* catalog = app.add_subcommand("catalog");
  catalog->add_subcommand("scan");
  catalog->add_subcommand("verify");
  struct Case {
    std::vector<std::string> arguments;
    std::string error;  // empty: accepted, as `accepted`
    std::vector<std::string> accepted = {};
  };
  const std::vector<Case> cases = {
      {{"hsah", "x"}, "unknown subcommand 'hsah'; did you mean 'hash'?"},
      {{"-q", "fingreprint"}, "unknown subcommand 'fingreprint'; did you mean 'fingerprint'?"},
      {{"catalog", "scn", "x"}, "unknown subcommand 'scn' of 'catalog'; did you mean 'scan'?"},
      {{"nonsense"}, "unknown subcommand 'nonsense'"},
      {{"--plugin", "hash", "hahs"}, "unknown subcommand 'hahs'; did you mean 'hash'?"},
      {{"hash", "hsah", "dupes"}, "", {"hash", "hsah", "dupes"}},  // operands of hash
      {{"help"}, "", {"--help"}},
      {{"help", "catalog", "scan"}, "", {"catalog", "scan", "--help"}},
      {{"-q", "help", "dupes"}, "", {"-q", "dupes", "--help"}},
      {{"help", "dupse"}, "unknown subcommand 'dupse'; did you mean 'dupes'?"},
      {{"--plugin=x", "dupes", "-r"}, "", {"--plugin=x", "dupes", "-r"}},
  };
  for (const auto& c : cases) {
    const auto checked = checkSubcommandWords(app, c.arguments);
    if (c.error.empty()) {
      ASSERT_TRUE(checked.has_value()) << c.arguments[0] << ": " << checked.error().text();
      EXPECT_EQ(*checked, c.accepted);
    } else {
      ASSERT_FALSE(checked.has_value()) << c.arguments[0];
      EXPECT_EQ(checked.error().text(), c.error);
    }
  }
}

}  // namespace
}  // namespace corvane::tool
