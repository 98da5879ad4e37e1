#include "catalog/store/row_rules.h"

#include <algorithm>

namespace corvane::tool::catalog {
namespace {

// Why a '/'-separated run of segments is not a plain relative path, or nothing.
std::optional<std::string> flawOfSegments(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return "it holds a NUL byte";
  std::size_t start = 0;
  for (;;) {
    const auto end = path.find('/', start);
    const auto segment = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (segment.empty()) return "it has an empty segment";
    if (segment == "." || segment == "..") return "it has a '" + std::string(segment) + "' segment";
    if (end == std::string_view::npos) return std::nullopt;
    start = end + 1;
  }
}

}  // namespace

std::optional<std::string> flawOfEntryPath(std::string_view path) {
  if (path.empty()) return "its path is empty";
  if (path.front() == '/') return "its path is absolute";
  if (auto flaw = flawOfSegments(path)) return "its path is not clean: " + *flaw;
  return std::nullopt;
}

std::optional<std::string> flawOfRootPath(std::string_view path) {
  if (path.empty() || path.front() != '/') return "its path is not absolute";
  if (path == "/") return std::nullopt;
  if (auto flaw = flawOfSegments(path.substr(1))) return "its path is not clean: " + *flaw;
  return std::nullopt;
}

std::optional<std::string> flawOfMachine(std::string_view machine) {
  if (machine.empty() || machine.size() > 255) return "its machine's name is empty or too long";
  for (const unsigned char c : machine) {
    if (c < 0x20 || c == 0x7f || c == '/') return "its machine's name holds a control byte or a slash";
  }
  return std::nullopt;
}

std::optional<std::string> flawOfExclusion(std::string_view pattern) {
  if (pattern.find('\0') != std::string_view::npos) return "an exclusion of it holds a NUL byte";
  if (pattern.size() > 4096) return "an exclusion of it is longer than 4096 bytes";
  if (pattern.find_first_not_of('/') == std::string_view::npos) return "an exclusion of it is empty";
  return std::nullopt;
}

bool digestOfColumn(const Statement& row, int column, std::optional<Digest>& out) {
  out.reset();
  if (row.type(column) == ValueType::kNull) return true;
  const auto bytes = row.blob(column);
  Digest value{};
  if (row.type(column) != ValueType::kBlob || bytes.size() != value.size()) return false;
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(value.data()));
  out = value;
  return true;
}

}  // namespace corvane::tool::catalog
