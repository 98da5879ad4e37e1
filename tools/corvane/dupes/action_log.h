#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dupes/action_group.h"

namespace corvane::tool {

// What became of one duplicate.
enum class Outcome {
  kDone,      // the action was taken
  kWouldDo,   // --dry-run: it would have been taken
  kSameFile,  // already the kept file (a hard link of it): nothing to do
  kKeptIn,    // below a --keep-in folder: never changed
  kRefused,   // a check failed: left as it was
  kFailed,    // the system refused: left as it was
};

struct ActionRecord {
  DupesAction action;
  std::string_view path;
  std::string_view kept;
  Outcome outcome;
  std::string reason;       // why it was refused, failed or left alone
  std::uint64_t bytes = 0;  // freed (link, remove: the file's last name went) or shared (reflink)
};

const char* actionWord(DupesAction action);

// Every action taken or refused, one line each on standard output (one JSON object with --json),
// and the totals for the summary.
class ActionLog {
 public:
  ActionLog(bool json, bool dryRun) : json_(json), dryRun_(dryRun) {}
  ~ActionLog() { finish(); }
  ActionLog(const ActionLog&) = delete;
  ActionLog& operator=(const ActionLog&) = delete;

  void record(const ActionRecord& record);
  // Writes what is left; false when some write failed.
  bool finish();
  // "corvane: 3 linked, 1 refused, 2048 bytes (2 KiB) freed"
  std::string summary(DupesAction action) const;
  // Some duplicate was refused or failed.
  bool anyRefused() const { return refused_ != 0; }
  // A line could not be written: what is done next could not be told.
  bool broken() const { return failed_; }

 private:
  void flush();

  const bool json_, dryRun_;
  std::string buffer_;
  bool failed_ = false;
  std::size_t done_ = 0, refused_ = 0, left_ = 0;
  std::uint64_t bytes_ = 0;
};

}  // namespace corvane::tool
