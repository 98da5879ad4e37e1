#include "dupes/dupes_output.h"

#include <nlohmann/json.hpp>

#include "text/escape.h"
#include "text/json_name.h"
#include "text/output.h"
#include "text/utf8.h"

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

void DupesOutput::print(const PrintedGroup& group) {
  const std::string prefix = style_.marked ? std::string(kindWord(group.kind)) + "  " : std::string();
  switch (style_.format) {
    case DupesFormat::kLines:
      // Names shown as in every other output line: a crafted name cannot break one.
      for (const auto& name : group.names) buffer_.append(lineWithName(prefix, name, "")).push_back('\n');
      buffer_.push_back('\n');
      break;
    case DupesFormat::kNul:
      for (const auto& name : group.names) buffer_.append(prefix).append(name).push_back('\0');
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
      putNames(object, style_.namesKey, group.names);
      if (!group.statuses.empty()) {
        auto& files = object["files"] = nlohmann::ordered_json::array();
        for (const auto& status : group.statuses) {
          files.push_back({{"device", status.device},
                           {"inode", status.inode},
                           {"size", status.size},
                           {"modifiedNs", status.modifiedNs}});
        }
      }
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
  if (!failed_ && !buffer_.empty()) failed_ = !writeOut(buffer_);
  buffer_.clear();
}

}  // namespace corvane::tool
