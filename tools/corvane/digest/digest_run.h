#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/context.h"
#include "cli/error.h"
#include "digest/digest_options.h"
#include "inputs/items.h"
#include "plugin/plugin_client.h"
#include "text/progress.h"

namespace corvane::tool {

// The answer for one item.
struct Outcome {
  std::optional<std::string> digest;
  std::optional<std::uint64_t> size;  // as the plug-in found the file
  std::string error;                  // why there is none, in words
  bool missing = false;               // the file does not exist (--ignore-missing passes over it)
};

// A fingerprint needs a stream's size before it reads; a hash reads it as it arrives.
inline StreamUse streamUseFor(DigestKind kind) {
  return kind == DigestKind::kFingerprint ? StreamUse::kKeepWhole : StreamUse::kAsItArrives;
}

// One pass of items through the plug-in: its client, the progress display on a terminal, the
// calls made in parallel and their outcomes handed over in the items' order.
class DigestRun {
 public:
  // Gives the items, each to the sink as soon as it is known; false from the sink ends it.
  using Source = std::function<void(const ItemSink& sink)>;

  DigestRun(const Context& context, const DigestOptions& options, DigestKind kind,
            const std::optional<std::string>& library, Source source);
  DigestRun(const Context& context, const DigestOptions& options, DigestKind kind,
            const std::optional<std::string>& library, std::vector<Item> items);
  ~DigestRun();
  DigestRun(const DigestRun&) = delete;
  DigestRun& operator=(const DigestRun&) = delete;

  // Starts the plug-in.
  Result<> start();
  // Hands each item's outcome, with the item's index in order, to `emit`, the output of each
  // batch of items written in one piece; stops (and is false) as soon as `emit` is false or a
  // write fails. The items are called while the source is still giving them.
  bool run(const std::function<bool(std::size_t, const Item&, Outcome&)>& emit);
  // The item's digest of the other kind (a hash where the run fingerprints, and the reverse),
  // taken as run() took its own; none for a stream, whose copy is gone once its call is done.
  std::optional<Outcome> otherDigest(const Item& item) const;
  // Lines to standard error and output, kept clear of the progress display.
  Progress& progress() { return progress_; }

 private:
  Outcome call(const Item& item, DigestKind kind) const;

  const Context& context_;
  const DigestOptions& options_;
  DigestKind kind_;
  std::optional<std::string> library_;  // the photo library's folder, lent to the plug-in
  Source source_;
  Progress progress_;
  std::unique_ptr<PluginClient> client_;
};

}  // namespace corvane::tool
