#include "check_command.h"

#include <cstdint>
#include <vector>

#include "digest_line.h"
#include "digest_run.h"
#include "escape.h"
#include "exit_status.h"
#include "output.h"
#include "platform/file_system.h"

namespace corvane::tool {
namespace {

// A list's whole text; none, with the reason said, when it cannot be read.
std::optional<std::string> readList(const std::string& list, const std::string& shown) {
  auto& files = *platform::posixFileSystem();
  std::unique_ptr<platform::Stream> stream;
  if (list == "-") {
    stream = files.standardInput();
  } else {
    auto opened = files.openStream(list);
    if (!opened) {
      printError(quoteName(list) + ": " + opened.error().description());
      return std::nullopt;
    }
    stream = std::move(*opened);
  }
  std::string text;
  std::vector<std::uint8_t> buffer(1 << 16);
  for (;;) {
    const auto n = stream->read(buffer);
    if (!n) {
      printError(quoteName(shown) + ": read error");
      return std::nullopt;
    }
    if (*n == 0) return text;
    text.append(reinterpret_cast<const char*>(buffer.data()), *n);
  }
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
  ListCheck(const CommonOptions& common, DigestKind kind, const DigestOptions& options, DigestLineReader& reader)
      : common_(common), kind_(kind), options_(options), reader_(reader) {}

  // False when the list fails sha256sum's test; output failures are left to outputFailed().
  bool check(const std::string& list, const std::optional<std::string>& library) {
    const bool fromStdin = list == "-";
    shown_ = fromStdin ? "standard input" : list;
    const auto text = readList(list, shown_);
    if (!text) return false;
    std::vector<Item> items;
    split(*text, fromStdin, items);

    DigestRun run(common_, options_, kind_, library, std::move(items));
    std::string error;
    if (!run.start(error)) {
      printError(error);
      return false;
    }
    const bool completed = run.run([&](std::size_t i, const Item& item, Outcome& outcome) {
      return report(run.progress(), entries_[i], item, outcome);
    });
    if (!completed) return false;
    return summarize(run.progress());
  }

 private:
  void split(const std::string& text, bool fromStdin, std::vector<Item>& items) {
    const char end = options_.zero ? '\0' : '\n';
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
      auto stop = text.find(end, start);
      if (stop == std::string::npos) stop = text.size();
      const std::string_view line(text.data() + start, stop - start);
      start = stop + 1;
      ++number;
      DigestLine parsed;
      const auto kind = reader_.read(line, parsed);
      if (kind == DigestLineReader::Kind::kIgnored) continue;
      // "-" names standard input, which is the list itself here.
      if (kind == DigestLineReader::Kind::kMalformed || (fromStdin && parsed.name == "-")) {
        ++malformed_;
        entries_.push_back({number, false, {}});
        items.push_back({});
        items.back().error = "";
        continue;
      }
      ++wellFormed_;
      entries_.push_back({number, true, std::move(parsed.digest)});
      auto item = options_.assets ? assetItems({parsed.name}) : fileItems({parsed.name}, WalkChoices{});
      items.push_back(std::move(item.front()));
    }
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
      return !show || common_.quiet || progress.printOut(lineWithName({}, item.name, ": OK"));
    }
    ++mismatched_;
    return !show || progress.printOut(lineWithName({}, item.name, ": FAILED"));
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
    }
    return matched_ != 0 && mismatched_ == 0 && unreadable_ == 0 && (!options_.strict || malformed_ == 0);
  }

  const CommonOptions& common_;
  DigestKind kind_;
  const DigestOptions& options_;
  DigestLineReader& reader_;
  std::string shown_;  // the list's name in messages
  std::vector<Entry> entries_;
  std::size_t wellFormed_ = 0, malformed_ = 0, unreadable_ = 0, mismatched_ = 0, matched_ = 0;
};

}  // namespace

int checkLists(const CommonOptions& common, DigestKind kind, const DigestOptions& options,
               const std::optional<std::string>& library) {
  // One reader for the whole run: the form of the first line decides for every list, as in
  // sha256sum.
  DigestLineReader reader(algorithmName(kind), options.zero);
  bool ok = true;
  for (const auto& list : options.operands.empty() ? std::vector<std::string>{"-"} : options.operands) {
    ok = ListCheck(common, kind, options, reader).check(list, library) && ok;
    if (outputFailed()) break;
  }
  return ok ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool
