#include "cli/help_format.h"

#include <CLI/CLI.hpp>

namespace corvane::tool {
namespace {

class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* option) const override {
    const bool many = option->get_expected_max() >= CLI::detail::expected_max_vector_size;
    if (!option->nonpositional()) return many ? " ..." : "";
    if (!option->get_option_text().empty()) return " " + option->get_option_text();
    if (option->get_type_size() == 0 || option->get_type_name().empty()) return "";
    return " " + option->get_type_name() + (many ? " ..." : "");
  }
};

}  // namespace

std::shared_ptr<CLI::Formatter> helpFormatter() { return std::make_shared<HelpFormatter>(); }

}  // namespace corvane::tool
