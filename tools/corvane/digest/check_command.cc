#include "digest/check_command.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "cli/exit_status.h"
#include "digest/digest_line.h"
#include "digest/digest_run.h"
#include "platform/file_system.h"
#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool {
namespace {

// A list opened for reading; none, with the reason said, when it cannot be opened.
std::unique_ptr<platform::Stream> openList(platform::FileSystem& files, const std::string& list) {
  if (list == "-") return files.standardInput();
  auto opened = files.openStream(list);
  if (!opened) {
    printError(quoteName(list) + ": " + opened.error().description());
    return nullptr;
  }
  return std::move(*opened);
}

std::string count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// One line of a list, as the check goes through it in order.
struct Entry {
  std::size_t line = 0;
  bool wellFormed = false;
  std::string expected;
};

class ListCheck {
 public:
  ListCheck(const Context& context, DigestKind kind, const DigestOptions& options, DigestLineReader& reader)
      : context_(context), kind_(kind), options_(options), reader_(reader) {}

  // False when the list fails sha256sum's test; output failures are left to outputFailed().
  // Lines are checked as they are read: memory stays bounded whatever the list's length, and a
  // list that arrives slowly is answered line by line.
  bool check(const std::string& list, const std::optional<std::string>& library) {
    const bool fromStdin = list == "-";
    shown_ = fromStdin ? "standard input" : list;
    const auto stream = openList(*context_.files, list);
    if (!stream) return false;
    DigestRun run(context_, options_, kind_, library,
                  [&](const ItemSink& sink) { readLines(*stream, fromStdin, sink); });
    if (auto started = run.start(); !started) {
      printError(started.error().text());
      return false;
    }
    const bool completed = run.run([&](std::size_t, const Item& item, Outcome& outcome) {
      const auto entry = nextEntry();
      if (!report(run.progress(), entry, item, outcome)) return false;
      probeOtherKind(run, entry, item, outcome);
      return true;
    });
    if (!completed) return false;
    if (readFailed_) {
      printError(quoteName(shown_) + ": read error");
      return false;
    }
    return summarize(run.progress());
  }

 private:
  // Runs on the run's producer thread.
  void readLines(platform::Stream& stream, bool fromStdin, const ItemSink& sink) {
    const char end = options_.zero ? '\0' : '\n';
    std::string pending;  // a line not yet ended
    std::vector<std::uint8_t> buffer(1 << 16);
    std::size_t number = 0;
    for (;;) {
      const auto n = stream.read(buffer);
      if (!n) {
        readFailed_ = true;
        return;
      }
      if (*n == 0) break;
      pending.append(reinterpret_cast<const char*>(buffer.data()), *n);
      std::size_t start = 0;
      for (std::size_t stop; (stop = pending.find(end, start)) != std::string::npos; start = stop + 1) {
        if (!takeLine(std::string_view(pending).substr(start, stop - start), ++number, fromStdin, sink)) return;
      }
      pending.erase(0, start);
    }
    if (!pending.empty()) takeLine(pending, ++number, fromStdin, sink);
  }

  bool takeLine(std::string_view line, std::size_t number, bool fromStdin, const ItemSink& sink) {
    DigestLine parsed;
    const auto kind = reader_.read(line, parsed);
    if (kind == DigestLineReader::Kind::kIgnored) return true;
    Item item;
    Entry entry{number, false, {}};
    // "-" names standard input, which is the list itself here.
    if (kind == DigestLineReader::Kind::kMalformed || (fromStdin && parsed.name == "-")) {
      ++malformed_;
      item.file.error = "";
    } else {
      ++wellFormed_;
      entry = {number, true, std::move(parsed.digest)};
      item = options_.assets ? std::move(assetItems({parsed.name}).front())
                             : fileItem(*context_.files, parsed.name, streamUseFor(kind_));
    }
    {
      std::lock_guard lock(entriesMutex_);
      entries_.push_back(std::move(entry));
    }
    return sink(std::move(item));
  }

  // The entry of the next result, which comes in the order the lines were read.
  Entry nextEntry() {
    std::lock_guard lock(entriesMutex_);
    Entry entry = std::move(entries_.front());
    entries_.pop_front();
    return entry;
  }

  bool report(Progress& progress, const Entry& entry, const Item& item, const Outcome& outcome) {
    if (!entry.wellFormed) {
      if (options_.warn) {
        progress.printLine("corvane: " + quoteName(shown_) + ": " + std::to_string(entry.line) +
                           ": improperly formatted " + algorithmName(kind_) + " checksum line");
      }
      return true;
    }
    const bool show = !options_.status;
    if (!outcome.digest) {
      if (options_.ignoreMissing && outcome.missing) return true;
      ++unreadable_;
      progress.printLine("corvane: " + quoteName(item.name) + ": " + outcome.error);
      return !show || progress.printOut(lineWithName({}, item.name, ": FAILED open or read"));
    }
    if (*outcome.digest == entry.expected) {
      ++matched_;
      return !show || context_.common.quiet || progress.printOut(lineWithName({}, item.name, ": OK"));
    }
    ++mismatched_;
    return !show || progress.printOut(lineWithName({}, item.name, ": FAILED"));
  }

  // While every entry so far has failed, whether the first few failures would pass as lines of
  // the other digest: a list of hashes checked as fingerprints (or the reverse) says so at its
  // end. A few entries, and a bounded number of bytes read whole, settle it; nothing more is
  // read for a list that passes at all.
  void probeOtherKind(const DigestRun& run, const Entry& entry, const Item& item, const Outcome& outcome) {
    static constexpr std::size_t kMaxProbes = 4;
    static constexpr std::uint64_t kMaxHashedBytes = std::uint64_t{1} << 30;
    if (options_.status || !entry.wellFormed || !outcome.digest || *outcome.digest == entry.expected) return;
    if (matched_ != 0 || probesFailed_ || probesMatched_ >= kMaxProbes) return;
    if (kind_ == DigestKind::kFingerprint) {  // the other digest reads the file whole
      const auto size = outcome.size.value_or(kMaxHashedBytes);
      if (size > kMaxHashedBytes - hashedBytes_) return;
      hashedBytes_ += size;
    }
    const auto other = run.otherDigest(item);
    if (!other || !other->digest) return;
    if (*other->digest == entry.expected) {
      ++probesMatched_;
    } else {
      probesFailed_ = true;
    }
  }

  bool summarize(Progress& progress) {
    const std::string list = "corvane: " + quoteName(shown_) + ": ";
    if (wellFormed_ == 0) {
      progress.printLine(list + "no properly formatted checksum lines found");
      return false;
    }
    if (!options_.status) {
      if (malformed_ != 0) {
        progress.printLine("corvane: WARNING: " + count(malformed_, "line is", "lines are") + " improperly formatted");
      }
      if (unreadable_ != 0) {
        progress.printLine("corvane: WARNING: " + count(unreadable_, "listed file", "listed files") +
                           " could not be read");
      }
      if (mismatched_ != 0) {
        progress.printLine("corvane: WARNING: " + count(mismatched_, "computed checksum", "computed checksums") +
                           " did NOT match");
      }
      if (options_.ignoreMissing && matched_ == 0) progress.printLine(list + "no file was verified");
      if (matched_ == 0 && mismatched_ != 0 && probesMatched_ != 0 && !probesFailed_) {
        progress.printLine(kind_ == DigestKind::kFingerprint
                               ? "corvane: these look like SHA-256 lines: use corvane hash -c"
                               : "corvane: these look like fingerprint lines: use corvane fingerprint -c");
      }
    }
    return matched_ != 0 && mismatched_ == 0 && unreadable_ == 0 && (!options_.strict || malformed_ == 0);
  }

  const Context& context_;
  DigestKind kind_;
  const DigestOptions& options_;
  DigestLineReader& reader_;
  std::string shown_;  // the list's name in messages
  std::mutex entriesMutex_;
  std::deque<Entry> entries_;  // read and not yet reported, in order
  // Counted while the lines are read, and looked at once the run is over.
  std::size_t wellFormed_ = 0, malformed_ = 0;
  bool readFailed_ = false;
  std::size_t unreadable_ = 0, mismatched_ = 0, matched_ = 0;
  // Failed entries tried as the other digest, and the bytes that read whole.
  std::size_t probesMatched_ = 0;
  bool probesFailed_ = false;
  std::uint64_t hashedBytes_ = 0;
};

}  // namespace

int checkLists(const Context& context, DigestKind kind, const DigestOptions& options,
               const std::optional<std::string>& library) {
  // One reader for the whole run: the form of the first line decides for every list, as in
  // sha256sum.
  DigestLineReader reader(algorithmName(kind), options.zero);
  bool ok = true;
  for (const auto& list : options.operands.empty() ? std::vector<std::string>{"-"} : options.operands) {
    ok = ListCheck(context, kind, options, reader).check(list, library) && ok;
    if (outputFailed()) break;
  }
  return ok ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool
