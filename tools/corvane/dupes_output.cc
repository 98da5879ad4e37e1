#include "dupes_output.h"

#include <unistd.h>

#include <cerrno>

#include <nlohmann/json.hpp>

#include "output.h"

namespace corvane::tool {
namespace {

constexpr std::size_t kWriteSize = 64 << 10;

const char* kindWord(PrintedGroup::Kind kind) {
  switch (kind) {
    case PrintedGroup::Kind::kProbable: return "probable";
    case PrintedGroup::Kind::kSameFile: return "same-file";
    default: return "duplicate";
  }
}

}  // namespace

std::string escapedLine(std::string_view prefix, std::string_view name) {
  const bool escape = name.find_first_of("\\\n\r") != std::string_view::npos;
  std::string line;
  line.reserve(prefix.size() + name.size() + 2);
  if (escape) line.push_back('\\');
  line.append(prefix);
  for (const char c : name) {
    if (!escape) {
      line.push_back(c);
    } else if (c == '\\') {
      line.append("\\\\");
    } else if (c == '\n') {
      line.append("\\n");
    } else if (c == '\r') {
      line.append("\\r");
    } else {
      line.push_back(c);
    }
  }
  return line;
}

void DupesOutput::print(const PrintedGroup& group) {
  const std::string prefix = style_.marked ? std::string(kindWord(group.kind)) + "  " : std::string();
  switch (style_.format) {
    case DupesFormat::kLines:
      for (const auto name : group.names) buffer_.append(escapedLine(prefix, name)).push_back('\n');
      buffer_.push_back('\n');
      break;
    case DupesFormat::kNul:
      for (const auto name : group.names) buffer_.append(prefix).append(name).push_back('\0');
      buffer_.push_back('\0');
      break;
    case DupesFormat::kJson: {
      nlohmann::ordered_json object;
      object["size"] = group.size;
      if (group.kind == PrintedGroup::Kind::kSameFile) object["sameFile"] = true;
      if (group.sha256) object["sha256"] = *group.sha256;
      if (group.kind == PrintedGroup::Kind::kProbable) {
        object["fingerprint"] = group.fingerprint.value_or("");
        object["probable"] = true;
      }
      auto& names = object[style_.namesKey] = nlohmann::ordered_json::array();
      for (const auto name : group.names) names.push_back(std::string(name));
      buffer_.append(jsonLine(object)).push_back('\n');
      break;
    }
  }
  if (buffer_.size() >= kWriteSize) flush();
}

bool DupesOutput::finish() {
  flush();
  return !failed_;
}

void DupesOutput::flush() {
  std::string_view rest = buffer_;
  while (!rest.empty() && !failed_) {
    const ssize_t n = ::write(STDOUT_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  buffer_.clear();
}

}  // namespace corvane::tool
