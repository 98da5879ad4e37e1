#include "digest_command.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <thread>

#include "digest_line.h"
#include "exit_status.h"
#include "file_report.h"
#include "file_walk.h"
#include "library_location.h"
#include "ordered_runner.h"
#include "output.h"
#include "plugin_host.h"
#include "progress.h"

namespace corvane::tool {
namespace {

struct Methods {
  const char* file;
  const char* asset;
  const char* jsonKey;
  const char* assetFailure;
};

Methods methodsOf(DigestKind kind) {
  if (kind == DigestKind::kFingerprint) {
    return {"fingerprintOfFile", "fingerprintOfVideoAsset", "fingerprint", "no such video in the library, or unreadable"};
  }
  return {"hashFile", "hashAsset", "sha256", "no such asset in the library, or its data cannot be read"};
}

struct Outcome {
  std::optional<std::string> digest;
  std::optional<std::uint64_t> size;  // as the plug-in found it
  std::string error;
};

// Reads a check list: the names and the digests they must give.
bool readCheckList(const std::string& list, std::vector<std::string>& names, std::vector<std::string>& expected,
                   std::size_t& malformed) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (list != "-") {
    file.open(list, std::ios::binary);
    if (!file) return false;
    in = &file;
  }
  std::string line;
  while (std::getline(*in, line)) {
    if (auto parsed = parseDigestLine(line)) {
      names.push_back(std::move(parsed->name));
      expected.push_back(std::move(parsed->digest));
    } else if (!line.empty()) {
      ++malformed;
    }
  }
  return true;
}

// The jobs of a run: the operands, or the entries of the check list. Returns an exit status
// when there is nothing to run.
std::optional<int> collectJobs(const DigestOptions& options, std::vector<Job>& jobs, std::vector<std::string>& expected,
                               std::size_t& malformed) {
  std::vector<std::string> names = options.operands;
  if (options.checkList) {
    names.clear();
    if (!readCheckList(*options.checkList, names, expected, malformed)) {
      // NOTE(merge): the list is read through the file layer once the check-list reader lands.
      const auto opened = platform::posixFileSystem()->openFile(nullptr, *options.checkList, platform::Resolve::kFollow);
      printError(*options.checkList + ": " + (opened ? std::string("Read error") : opened.error().description()));
      return kExitFailed;
    }
    if (names.empty()) {
      printError(*options.checkList + ": no properly formatted digest lines found");
      return kExitFailed;
    }
  }
  if (options.assets) {
    for (auto& name : names) jobs.push_back({std::move(name), std::nullopt});
  } else {
    // A check list's entries are single files, so a folder among them is an error.
    jobs = expandPaths(*platform::posixFileSystem(), names,
                       {.recursive = options.recursive && !options.checkList, .followLinks = options.followLinks});
  }
  return std::nullopt;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

CLI::App* addDigestCommand(CLI::App& app, DigestKind kind, DigestOptions& options) {
  const bool fingerprint = kind == DigestKind::kFingerprint;
  auto* command = app.add_subcommand(
      fingerprint ? "fingerprint" : "hash",
      fingerprint ? "Print sampled fingerprints: the size and five 16 KiB samples, fast for any size"
                  : "Print SHA-256 hashes of whole files, as sha256sum does");
  command->add_option("PATH", options.operands, "Files (or folders, with -r); asset identifiers with --asset");
  command->add_flag("-r,--recursive", options.recursive,
                    "Walk into folders: every regular file below them, as find -type f lists them, in byte order");
  command->add_flag("-L,--follow", options.followLinks, "With -r, follow links to files and folders, as find -L does");
  command->add_option("-j,--jobs", options.threads, "Calls to run at once (default: one per processor)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1024}));
  command->add_flag("--json", options.json, "Print one JSON object per file");
  command->add_option("-c,--check", options.checkList, "Check the digests listed in a file ('-' for standard input)");
  command->add_flag("--asset", options.assets,
                    fingerprint ? "The operands are video identifiers of the photo library"
                                : "The operands are asset identifiers of the photo library");
  command->add_option("--library", options.library, "The photo library folder (default: your pictures folder)");
  const std::string name = fingerprint ? "fingerprint" : "hash";
  command->footer("Examples:\n  corvane " + name + " photo.jpg video.mov\n  corvane " + name +
                  " -r ~/Archive > archive." + name + "s\n  corvane " + name + " -c archive." + name +
                  "s\n  corvane " + name + " --json -r ~/Archive\n  corvane " + name + " --library ~/Pictures --asset " +
                  (fingerprint ? "'Holidays/sea waves.avi'" : "Holidays/beach.png") +
                  (fingerprint ? "\n\nA fingerprint sees the file's size and five sampled 16 KiB pieces only: it "
                                 "tells most changes\nfast, but is no integrity check. Use 'corvane hash' for that."
                               : "\n\nThe output is accepted by 'sha256sum -c', and the other way round."));
  return command;
}

int runDigest(const CommonOptions& common, DigestKind kind, const DigestOptions& options) {
  const Methods methods = methodsOf(kind);
  const bool checking = options.checkList.has_value();
  if (checking && !options.operands.empty()) {
    printError("--check takes a list, not paths: " + options.operands.front());
    return kExitUsage;
  }
  if (!checking && options.operands.empty()) {
    printError(options.assets ? "no asset identifiers given" : "no paths given");
    return kExitUsage;
  }
  if (options.assets && options.recursive) {
    printError("-r walks folders; it does not go with --asset");
    return kExitUsage;
  }

  LentServices services;
  std::string error;
  if (options.assets) {
    services.libraryLocation = libraryLocation(options.library, true, error);
    if (!services.libraryLocation) {
      printError(error);
      return kExitFailed;
    }
  }

  std::vector<Job> jobs;
  std::vector<std::string> expected;  // with --check: the digest each job must give
  std::size_t malformed = 0;
  if (const auto status = collectJobs(options, jobs, expected, malformed)) return *status;

  Progress progress(!common.quiet && !common.trace && Progress::terminalAttached(), jobs.size());
  // The plug-in tells each worker thread what it found of the file it was asked about.
  services.fileObserver = std::make_shared<FileReporter>();
  services.console = common.quiet ? std::shared_ptr<platform::Console>(std::make_shared<platform::SilentConsole>())
                                  : std::make_shared<ProgressConsole>(progress);
  auto host = PluginHost::start(common.plugin, services, error);
  if (!host) {
    printError(error);
    return kExitFailed;
  }

  const std::string method = options.assets ? methods.asset : methods.file;
  const auto compute = [&](std::size_t i) -> Outcome {
    const Job& job = jobs[i];
    Outcome outcome;
    if (job.error) {
      outcome.error = *job.error;
    } else {
      FileReporter::take();
      const auto reply = host->call({method, host::Value(job.name)}, common.trace);
      const auto report = FileReporter::take();
      const auto* value = std::get_if<host::Value>(&reply);
      if (report.status) outcome.size = report.status->size;
      if (const auto* digest = value ? value->getIf<std::string>() : nullptr) {
        outcome.digest = *digest;
      } else if (options.assets) {
        outcome.error = methods.assetFailure;
      } else {
        outcome.error = report.error ? report.error->description() : "cannot be read";
      }
    }
    progress.advance(outcome.size.value_or(0));
    return outcome;
  };

  std::size_t failed = 0, mismatched = 0;
  const auto emit = [&](std::size_t i, Outcome& outcome) {
    const Job& job = jobs[i];
    if (!outcome.digest) {
      ++failed;
      progress.printLine("corvane: " + job.name + ": " + outcome.error);
      if (checking) progress.printOut(job.name + ": FAILED open or read");
      return;
    }
    if (checking) {
      const bool ok = *outcome.digest == expected[i];
      if (!ok) ++mismatched;
      if (!ok || !common.quiet) progress.printOut(job.name + (ok ? ": OK" : ": FAILED"));
    } else if (options.json) {
      nlohmann::ordered_json object;
      object[options.assets ? "asset" : "path"] = job.name;
      if (outcome.size) object["size"] = *outcome.size;
      object[methods.jsonKey] = *outcome.digest;
      progress.printOut(jsonLine(object));
    } else {
      progress.printOut(formatDigestLine(*outcome.digest, job.name));
    }
  };
  const std::size_t threads = options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  runInOrder<Outcome>(jobs.size(), threads, compute, emit);
  host.reset();  // before the progress display that its console writes through

  if (checking) {
    if (malformed != 0) {
      progress.printLine("corvane: WARNING: " + plural(malformed, "line is", "lines are") + " improperly formatted");
    }
    if (failed != 0) {
      progress.printLine("corvane: WARNING: " + plural(failed, "listed file", "listed files") + " could not be read");
    }
    if (mismatched != 0) {
      progress.printLine("corvane: WARNING: " + plural(mismatched, "computed digest", "computed digests") +
                         " did NOT match");
    }
  }
  return failed == 0 && mismatched == 0 ? kExitOk : kExitFailed;
}

}  // namespace corvane::tool
