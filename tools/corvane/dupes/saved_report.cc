#include "dupes/saved_report.h"

#include <optional>

#include <nlohmann/json.hpp>

namespace corvane::tool {
namespace {

using nlohmann::json;

std::optional<std::string> fromBase64(std::string_view text) {
  static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      if (c == '=' && i + 4 == text.size() && j >= 2) {
        ++padding;
        group <<= 6;
        continue;
      }
      const auto at = kAlphabet.find(c);
      if (at == std::string_view::npos || padding != 0) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(at);
    }
    for (int j = 0; j < 3 - padding; ++j) bytes.push_back(static_cast<char>((group >> (16 - 8 * j)) & 0xff));
  }
  return bytes;
}

std::optional<std::uint64_t> unsignedField(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_unsigned()) return std::nullopt;
  return it->get<std::uint64_t>();
}

std::optional<std::int64_t> integerField(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return std::nullopt;
  return it->get<std::int64_t>();
}

// The names of a group, exact; why not when they cannot be read.
Result<std::vector<std::string>> namesOf(const json& object, const std::string& key) {
  std::vector<std::string> names;
  const auto exact = object.find(key + "_base64");
  const auto& list = exact != object.end() ? *exact : object.at(key);
  if (!list.is_array()) return failure("\"" + key + "\" is not a list");
  for (const auto& item : list) {
    if (!item.is_string()) return failure("a name in \"" + key + "\" is not text");
    if (exact == object.end()) {
      names.push_back(item.get<std::string>());
    } else if (auto bytes = fromBase64(item.get<std::string>())) {
      names.push_back(std::move(*bytes));
    } else {
      return failure("a name in \"" + key + "_base64\" is not base64");
    }
    if (names.back().empty() || names.back().find('\0') != std::string::npos) return failure("a name is empty");
  }
  return names;
}

Result<ActionGroup> groupOf(const json& object, const std::string& key) {
  ActionGroup group;
  const auto size = unsignedField(object, "size");
  if (!size) return failure("no \"size\"");
  group.size = *size;
  const auto probable = object.find("probable");
  group.probable = probable != object.end() && probable->is_boolean() && probable->get<bool>();
  auto names = namesOf(object, key);
  if (!names) return failure(names.error());
  const auto files = object.find("files");
  if (files == object.end() || !files->is_array()) {
    return failure("no \"files\": device, inode, size and modification time of each, as `dupes --json` writes them");
  }
  if (files->size() != names->size()) return failure("\"files\" and \"" + key + "\" are of different lengths");
  if (names->size() < 2) return failure("a group of fewer than two files");
  for (std::size_t i = 0; i < names->size(); ++i) {
    const auto& file = (*files)[i];
    if (!file.is_object()) return failure("an item of \"files\" is not an object");
    const auto device = unsignedField(file, "device"), inode = unsignedField(file, "inode"),
               fileSize = unsignedField(file, "size");
    const auto modified = integerField(file, "modifiedNs");
    if (!device || !inode || !fileSize || !modified) {
      return failure("an item of \"files\" lacks its device, inode, size or modifiedNs");
    }
    platform::FileStatus seen;
    seen.type = platform::FileType::kRegular;
    seen.device = *device;
    seen.inode = *inode;
    seen.size = *fileSize;
    seen.modifiedNs = *modified;
    group.members.push_back({std::move((*names)[i]), seen});
  }
  return group;
}

}  // namespace

Result<SavedReport> parseSavedReport(std::string_view text) {
  SavedReport report;
  std::optional<bool> assets;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const auto end = std::min(text.find('\n', start), text.size());
    const auto line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    const auto where = "line " + std::to_string(number);
    const json object = json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) return failure(Error{where, "not a JSON object"});
    const auto sameFile = object.find("sameFile");
    if (sameFile != object.end() && sameFile->is_boolean() && sameFile->get<bool>()) continue;  // one file
    const bool ofAssets = object.contains("assets");
    if (!ofAssets && !object.contains("paths")) return failure(Error{where, "no \"paths\" or \"assets\""});
    if (assets && *assets != ofAssets) return failure(Error{where, "paths and assets mixed in one report"});
    assets = ofAssets;
    auto group = groupOf(object, ofAssets ? "assets" : "paths");
    if (!group) return failure(Error{where, group.error().why});
    report.groups.push_back(std::move(*group));
  }
  report.assets = assets.value_or(false);
  return report;
}

}  // namespace corvane::tool
