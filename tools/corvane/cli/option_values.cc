#include "cli/option_values.h"

#include <charconv>
#include <string>

#include <CLI/CLI.hpp>

namespace corvane::tool {
namespace {

constexpr std::size_t kMaxCalls = 1024;

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The number of bytes a unit stands for: 1 for none or B, 1024 to the power of its place in
// KMGTPE, written alone or with B, I or IB after it.
std::optional<std::uint64_t> unitBytes(std::string_view unit) {
  std::string lower;
  for (const char c : unit) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower.empty() || lower == "b") return 1;
  static constexpr std::string_view kPrefixes = "kmgtpe";
  const auto place = kPrefixes.find(lower[0]);
  if (place == std::string_view::npos) return std::nullopt;
  const std::string_view rest = std::string_view(lower).substr(1);
  if (!rest.empty() && rest != "b" && rest != "i" && rest != "ib") return std::nullopt;
  return std::uint64_t{1} << (10 * (place + 1));
}

}  // namespace

std::optional<std::uint64_t> parseByteSize(std::string_view text) {
  text = trimmed(text);
  std::uint64_t number = 0;
  // Unsigned: a minus sign is no number, and too many digits are out of range.
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc{}) return std::nullopt;
  const auto unit = unitBytes(trimmed(text.substr(static_cast<std::size_t>(end - text.data()))));
  if (!unit || (number != 0 && number > UINT64_MAX / *unit)) return std::nullopt;
  return number * *unit;
}

CLI::Validator callCount() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        std::size_t count = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
        if (error == std::errc{} && end == value.data() + value.size() && count >= 1 && count <= kMaxCalls) return {};
        return "expected a whole number from 1 to " + std::to_string(kMaxCalls) + ", not '" + value + "'";
      },
      "");
}

CLI::Validator byteSize() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        const auto bytes = parseByteSize(value);
        if (!bytes) return "expected a size in bytes, such as 500, 10K, 5M or 1G, not '" + value + "'";
        value = std::to_string(*bytes);
        return {};
      },
      "");
}

}  // namespace corvane::tool
