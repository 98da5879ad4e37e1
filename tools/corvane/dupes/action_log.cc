#include "dupes/action_log.h"

#include <nlohmann/json.hpp>

#include "text/escape.h"
#include "text/json_name.h"
#include "text/output.h"
#include "text/progress.h"

namespace corvane::tool {
namespace {

constexpr std::size_t kWriteSize = 64 << 10;

const char* outcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone: return "done";
    case Outcome::kWouldDo: return "would-do";
    case Outcome::kSameFile: return "same-file";
    case Outcome::kKeptIn: return "kept-in";
    case Outcome::kRefused: return "refused";
    default: return "failed";
  }
}

const char* pastWord(DupesAction action) {
  switch (action) {
    case DupesAction::kReflink: return "reflinked";
    case DupesAction::kLink: return "linked";
    default: return "removed";
  }
}

// A line holding two names: escaped as every output line is (a backslash first when either
// name needed escaping), so a crafted name cannot break it or pass for another.
std::string twoNameLine(std::string_view before, std::string_view first, std::string_view middle,
                        std::string_view second, std::string_view after) {
  const auto a = escapeName(first), b = escapeName(second);
  std::string line = a.escaped || b.escaped ? "\\" : "";
  line.append(before).append(a.text).append(middle).append(b.text).append(after);
  return line;
}

}  // namespace

const char* actionWord(DupesAction action) {
  switch (action) {
    case DupesAction::kReflink: return "reflink";
    case DupesAction::kLink: return "link";
    default: return "remove";
  }
}

void ActionLog::record(const ActionRecord& record) {
  switch (record.outcome) {
    case Outcome::kDone:
    case Outcome::kWouldDo:
      ++done_;
      bytes_ += record.bytes;
      break;
    case Outcome::kRefused:
    case Outcome::kFailed: ++refused_; break;
    default: ++left_; break;
  }
  if (json_) {
    nlohmann::ordered_json object;
    object["action"] = actionWord(record.action);
    putName(object, "path", record.path);
    putName(object, "kept", record.kept);
    object["outcome"] = outcomeWord(record.outcome);
    if (!record.reason.empty()) object["reason"] = record.reason;
    if (record.outcome == Outcome::kDone || record.outcome == Outcome::kWouldDo) object["bytes"] = record.bytes;
    buffer_.append(jsonLine(object)).push_back('\n');
  } else {
    std::string before;
    switch (record.outcome) {
      case Outcome::kDone: before = pastWord(record.action); break;
      case Outcome::kWouldDo: before = std::string("would ") + actionWord(record.action); break;
      case Outcome::kSameFile: before = "same-file"; break;
      case Outcome::kKeptIn: before = "kept-in"; break;
      case Outcome::kRefused: before = std::string("refused ") + actionWord(record.action); break;
      default: before = std::string("failed ") + actionWord(record.action); break;
    }
    const std::string after = record.reason.empty() ? std::string() : ": " + record.reason;
    buffer_.append(twoNameLine(before + "  ", record.path, "  kept ", record.kept, after)).push_back('\n');
  }
  // Each change is told before the next is made, so a record that cannot be written stops the run.
  if (!dryRun_ || buffer_.size() >= kWriteSize) flush();
}

bool ActionLog::finish() {
  flush();
  return !failed_;
}

void ActionLog::flush() {
  if (!failed_ && !buffer_.empty()) failed_ = !writeOut(buffer_);
  buffer_.clear();
}

std::string ActionLog::summary(DupesAction action) const {
  std::string text = "corvane: " + std::to_string(done_) + " " + (dryRun_ ? "would be " : "") + pastWord(action);
  text += ", " + std::to_string(refused_) + " refused or failed";
  if (left_ != 0) text += ", " + std::to_string(left_) + " left alone (same file, or --keep-in)";
  text += ", " + std::to_string(bytes_) + " bytes (" + bytesText(static_cast<double>(bytes_)) + ") ";
  text += dryRun_ ? "to be " : "";
  text += action == DupesAction::kReflink ? (dryRun_ ? "shared, at most" : "shared") : "freed";
  return text;
}

}  // namespace corvane::tool
