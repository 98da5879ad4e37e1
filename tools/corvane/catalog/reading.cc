#include "catalog/reading.h"

#include <algorithm>
#include <chrono>

#include "plugin/checked_digest.h"

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

}  // namespace

Result<std::unique_ptr<PluginClient>> startReader(const Context& context, Progress& progress,
                                                  const PhotoFolder* library) {
  // The plug-in's own lines only when asked for, as for every subcommand but call.
  return PluginClient::start(
      context, {context.common.verbose ? std::shared_ptr<platform::Console>(std::make_shared<ProgressConsole>(progress))
                                       : std::make_shared<platform::SilentConsole>(),
                library != nullptr ? std::optional(library->location()) : std::nullopt});
}

Outcome readFile(const PluginClient& client, platform::FileSystem& fileSystem, SeenFile seen, const Needs& needs) {
  Outcome outcome;
  const auto started = nowNs();
  // The first digest must be of the file listed; the second of the version the first was of.
  Match match = Match::kSameFile;
  const auto call = [&](DigestKind kind) -> std::optional<Digest> {
    auto answer = digestOfSeenFile(client, fileSystem, kind, seen, match);
    if (answer && !answer->status) answer = failure("cannot be read");
    if (!answer) {
      outcome.error = answer.error().text();
      return std::nullopt;
    }
    seen.status = answer->status;
    match = Match::kSameVersion;
    auto digest = digestOfText(answer->digest);
    if (!digest) outcome.error = "cannot be read";
    return digest;
  };
  Entry entry;
  if (needs.fingerprint && !(entry.fingerprint = call(DigestKind::kFingerprint))) return outcome;
  if (needs.sha256 && !(entry.sha256 = call(DigestKind::kHash))) return outcome;
  if (match != Match::kSameVersion) {
    outcome.error = "nothing to read";
    return outcome;
  }
  entry.takeStatus(*seen.status);
  entry.racy = racy(entry, started);
  outcome.entry = std::move(entry);
  return outcome;
}

Outcome readAsset(const PluginClient& client, const PhotoFolder& library, const std::string& identifier,
                  const Needs& needs) {
  Outcome outcome;
  const auto started = nowNs();
  const auto before = library.assetStatus(identifier);
  if (!before) {
    outcome.error = before.error().description();
    return outcome;
  }
  Entry entry;
  const auto call = [&](DigestKind kind) -> std::optional<Digest> {
    const auto answer = client.digestOfAsset(kind, identifier);
    auto digest = answer ? digestOfText(*answer) : std::nullopt;
    if (!digest) outcome.error = "cannot be read through the library";
    return digest;
  };
  if (needs.fingerprint && !(entry.fingerprint = call(DigestKind::kFingerprint))) return outcome;
  if (needs.sha256 && !(entry.sha256 = call(DigestKind::kHash))) return outcome;
  const auto after = library.assetStatus(identifier);
  if (!after || !before->sameVersionAs(*after)) {
    outcome.error = "changed while it was read";
    return outcome;
  }
  entry.takeStatus(*before);
  entry.racy = racy(entry, started);
  outcome.entry = std::move(entry);
  return outcome;
}

}  // namespace corvane::tool::catalog
