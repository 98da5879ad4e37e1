#include "catalog/reading.h"

#include <algorithm>
#include <chrono>

#include "file_report.h"

namespace corvane::tool::catalog {
namespace {

// Time stamps move in ticks of the file system's clock: a few milliseconds on Linux's native
// file systems, up to two seconds elsewhere.
constexpr std::int64_t kClockTickNs = 2'000'000'000;

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A change within a tick of the read could be followed, unseen, by another in the same tick.
bool racy(const Entry& entry, std::int64_t readStartedNs) {
  return std::max(entry.changedNs, entry.modifiedNs) >= readStartedNs - kClockTickNs;
}

std::optional<Digest> digestOfReply(const host::MethodReply& reply) {
  const auto* value = std::get_if<host::Value>(&reply);
  const auto* text = value != nullptr ? value->getIf<std::string>() : nullptr;
  return text != nullptr ? digestOfText(*text) : std::nullopt;
}

}  // namespace

std::unique_ptr<PluginHost> startReader(const CommonOptions& common, Progress& progress,
                                        const photo_library::FolderLibrary* library, std::string& error) {
  LentServices services;
  services.fileObserver = std::make_shared<FileReporter>();
  if (library != nullptr) services.libraryLocation = library->location();
  // The plug-in's own lines only when asked for, as for every subcommand but call.
  services.console = common.verbose ? std::shared_ptr<platform::Console>(std::make_shared<ProgressConsole>(progress))
                                    : std::make_shared<platform::SilentConsole>();
  return PluginHost::start(common.plugin, services, error);
}

Outcome readFile(const PluginHost& host, const std::string& location, const Needs& needs, bool trace,
                 const platform::FileStatus* listed) {
  Outcome outcome;
  const auto started = nowNs();
  std::optional<platform::FileStatus> seen;
  const auto call = [&](const char* method) -> std::optional<Digest> {
    const auto [reply, report] = callReporting(host, {method, host::Value(location)}, trace);
    auto digest = digestOfReply(reply);
    if (!digest || !report.status) {
      outcome.error = report.error ? report.error->description() : "cannot be read";
      return std::nullopt;
    }
    if (listed != nullptr && !listed->sameFileAs(*report.status)) {
      outcome.error = "changed since the walk: its path leads to another file now";
      return std::nullopt;
    }
    // Both digests must be of one version of the file.
    if (seen && !sameVersion(*seen, *report.status)) {
      outcome.error = "changed while it was read";
      return std::nullopt;
    }
    seen = report.status;
    return digest;
  };
  Entry entry;
  if (needs.fingerprint && !(entry.fingerprint = call("fingerprintOfFile"))) return outcome;
  if (needs.sha256 && !(entry.sha256 = call("hashFile"))) return outcome;
  if (!seen) {
    outcome.error = "nothing to read";
    return outcome;
  }
  entry.takeStatus(*seen);
  entry.racy = racy(entry, started);
  outcome.entry = std::move(entry);
  return outcome;
}

platform::FileResult<platform::FileStatus> assetStatus(const photo_library::FolderLibrary& library,
                                                       const std::string& identifier) {
  auto file = library.openAsset(identifier);
  if (!file) return platform::Unexpected(file.error());
  return (*file)->status();
}

Outcome readAsset(const PluginHost& host, const photo_library::FolderLibrary& library, const std::string& identifier,
                  const Needs& needs, bool trace) {
  Outcome outcome;
  const auto started = nowNs();
  const auto before = assetStatus(library, identifier);
  if (!before) {
    outcome.error = before.error().description();
    return outcome;
  }
  Entry entry;
  const auto call = [&](const char* method) {
    auto digest = digestOfReply(host.call({method, host::Value(identifier)}, trace));
    if (!digest) outcome.error = "cannot be read through the library";
    return digest;
  };
  if (needs.fingerprint && !(entry.fingerprint = call("fingerprintOfVideoAsset"))) return outcome;
  if (needs.sha256 && !(entry.sha256 = call("hashAsset"))) return outcome;
  const auto after = assetStatus(library, identifier);
  if (!after || !sameVersion(*before, *after)) {
    outcome.error = "changed while it was read";
    return outcome;
  }
  entry.takeStatus(*before);
  entry.racy = racy(entry, started);
  outcome.entry = std::move(entry);
  return outcome;
}

}  // namespace corvane::tool::catalog
