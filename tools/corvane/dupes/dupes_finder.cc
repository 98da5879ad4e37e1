#include "dupes/dupes_finder.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "catalog/store/entry.h"
#include "corvane/corvane.h"
#include "dupes/byte_compare.h"
#include "platform/hex.h"
#include "run/ordered_runner.h"
#include "text/escape.h"
#include "text/progress.h"

namespace corvane::tool {
namespace {

// Buffer bytes of all comparisons running at once, shared out by thread and by file.
constexpr std::size_t kCompareBudget = 16 << 20;
constexpr std::size_t kMinChunk = 16 << 10;
constexpr std::size_t kMaxChunk = 128 << 10;  // two buffers stay in a core's cache for the comparison

// The fingerprint hashes files of at most this many bytes whole (with their size), so for them
// it settles identity; larger files it samples.
constexpr std::uint64_t kWholeFileLimit = CORVANE_FINGERPRINT_WHOLE_LIMIT;
constexpr std::uint64_t kSampledBytes =
    std::uint64_t{CORVANE_FINGERPRINT_SAMPLE_COUNT} * CORVANE_FINGERPRINT_SAMPLE_LENGTH;

// Whether a group's digest covered the whole content of its members.
bool settled(const DuplicateGroup& group) { return group.sha256 || group.size <= kWholeFileLimit; }

std::uint64_t bytesDigested(std::uint64_t size, DigestKind kind) {
  if (kind == DigestKind::kHash || size <= kWholeFileLimit) return size;
  return kSampledBytes;
}

class Finder {
 public:
  Finder(const Members& members, const DupesSource& source, const FinderSettings& settings)
      : members_(members), source_(source), settings_(settings) {}

  FinderResult run() {
    std::vector<DuplicateGroup> toCompare, toHash;
    for (auto& group : identify(candidatesBySize())) {
      if (settled(group)) {
        (settings_.paranoid ? toCompare : result_.groups).push_back(std::move(group));
      } else if (settings_.probable) {
        group.probable = true;
        result_.groups.push_back(std::move(group));
      } else if (settings_.wantSha256 || group.members.size() > settings_.compareWindow) {
        toHash.push_back(std::move(group));  // hashed once each rather than compared in windows
      } else {
        toCompare.push_back(std::move(group));
      }
    }
    for (auto& group : hash(toHash)) {
      (settings_.paranoid ? toCompare : result_.groups).push_back(std::move(group));
    }
    for (auto& group : compare(toCompare)) result_.groups.push_back(std::move(group));

    std::sort(result_.groups.begin(), result_.groups.end(),
              [](const auto& a, const auto& b) { return a.members.front() < b.members.front(); });
    std::sort(result_.sameFiles.begin(), result_.sameFiles.end());
    return std::move(result_);
  }

 private:
  // Indices into the members, one after another, bucket by bucket: four bytes a file, where a
  // tree of a great many files holds little more than its members.
  struct Buckets {
    std::vector<std::uint32_t> files;
    std::vector<std::size_t> ends;  // of each bucket in files
  };

  // Files of sizes that two or more distinct files share, by size; names of one file are set
  // aside on the way.
  Buckets candidatesBySize() {
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < members_.size(); ++i) {
      const auto size = members_.status(i).size;
      if (size >= settings_.minSize && size <= settings_.maxSize) order.push_back(static_cast<std::uint32_t>(i));
    }
    const auto key = [&](std::uint32_t i) {
      const auto s = members_.status(i);
      return std::tuple(s.size, s.device, s.inode);
    };
    std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return key(a) < key(b); });

    // Each bucket is written over the front of `order`, which it never overtakes.
    Buckets buckets;
    std::size_t kept = 0;
    for (std::size_t at = 0; at < order.size();) {
      const auto size = members_.status(order[at]).size;
      const auto start = kept;
      for (; at < order.size() && members_.status(order[at]).size == size;) {
        const auto file = order[at];
        std::vector<std::size_t> names{file};
        for (++at; at < order.size() && key(order[at]) == key(file); ++at) names.push_back(order[at]);
        if (names.size() > 1) result_.sameFiles.push_back(std::move(names));
        order[kept++] = file;
      }
      if (kept - start > 1) {
        std::sort(order.begin() + static_cast<std::ptrdiff_t>(start),
                  order.begin() + static_cast<std::ptrdiff_t>(kept));
        buckets.ends.push_back(kept);
      } else {
        kept = start;
      }
    }
    order.resize(kept);
    order.shrink_to_fit();
    buckets.files = std::move(order);
    return buckets;
  }

  // One call each through the channel; groups of equal digests. A bucket is fingerprinted
  // unless the channel has no fingerprint for one of its members (a library's image), or the
  // output wants the SHA-256 of files that the fingerprint would read whole anyway.
  std::vector<DuplicateGroup> identify(Buckets buckets) {
    // Each candidate is its member's index, with its method in the top bit.
    constexpr std::uint32_t kHashed = std::uint32_t{1} << 31;
    std::vector<std::uint32_t>& candidates = buckets.files;
    for (std::size_t b = 0, start = 0; b < buckets.ends.size(); start = buckets.ends[b++]) {
      const auto first = candidates.begin() + static_cast<std::ptrdiff_t>(start);
      const auto last = candidates.begin() + static_cast<std::ptrdiff_t>(buckets.ends[b]);
      const bool small = members_.status(*first).size <= kWholeFileLimit;
      const bool fingerprinted = std::all_of(first, last, [&](auto i) { return members_.fingerprinted(i); });
      if (!fingerprinted || (settings_.wantSha256 && small)) {
        for (auto it = first; it != last; ++it) *it |= kHashed;
      }
    }
    const auto memberOf = [](std::uint32_t candidate) { return candidate & ~kHashed; };
    const auto methodOf = [](std::uint32_t candidate) {
      return (candidate & kHashed) != 0 ? DigestKind::kHash : DigestKind::kFingerprint;
    };
    Progress progress(settings_.showProgress, candidates.size(), "fingerprinting");

    // Each distinct digest once, as bytes, with the first of its members; the others follow it
    // through `next`, four bytes a file. (A map from digest text to a list of names took some
    // 200 bytes a file where every file of a size is one of its own.) An answer that is not a
    // digest's 64 hexadecimal digits is grouped by its text, apart.
    using Key = std::tuple<std::uint64_t, bool, std::array<std::uint8_t, 32>>;  // size, hashed, digest
    struct Chain {
      std::uint32_t first, last, count;
    };
    std::map<Key, Chain> byDigest;
    constexpr std::uint32_t kEnd = UINT32_MAX;
    std::vector<std::uint32_t> next(candidates.empty() ? 0 : members_.size(), kEnd);
    std::map<std::tuple<std::uint64_t, DigestKind, std::string>, std::vector<std::uint32_t>> others;
    runInOrder<Result<std::string>>(
        candidates.size(), settings_.threads,
        [&](std::size_t n) {
          const auto i = memberOf(candidates[n]);
          const auto method = methodOf(candidates[n]);
          auto answer = source_.digest(members_[i], method);
          progress.advance(answer ? bytesDigested(members_.status(i).size, method) : 0);
          return answer;
        },
        [&](std::size_t n, Result<std::string>& answer) {
          const auto i = memberOf(candidates[n]);
          if (!answer) {
            leaveOut(progress, i, answer.error());
            return true;
          }
          const auto size = members_.status(i).size;
          const auto method = methodOf(candidates[n]);
          result_.bytesRead += bytesDigested(size, method);
          if (const auto bytes = catalog::digestOfText(*answer)) {
            const auto [chain, fresh] =
                byDigest.try_emplace(Key{size, method == DigestKind::kHash, *bytes}, Chain{i, i, 1});
            if (!fresh) {
              next[chain->second.last] = i;
              chain->second.last = i;
              ++chain->second.count;
            }
          } else {
            others[{size, method, std::move(*answer)}].push_back(i);
          }
          return true;
        });
    candidates = {};

    std::vector<DuplicateGroup> groups;
    for (auto it = byDigest.begin(); it != byDigest.end(); it = byDigest.erase(it)) {
      const auto& [key, chain] = *it;
      if (chain.count < 2) continue;
      const auto& [size, hashed, digest] = key;
      DuplicateGroup group{size, {}, std::nullopt, std::nullopt, false};
      group.members.reserve(chain.count);
      for (auto i = chain.first; i != kEnd; i = next[i]) group.members.push_back(i);
      std::sort(group.members.begin(), group.members.end());
      (hashed ? group.sha256 : group.fingerprint) = platform::hexText(digest);
      groups.push_back(std::move(group));
    }
    for (auto it = others.begin(); it != others.end(); it = others.erase(it)) {
      const auto& [key, found] = *it;
      if (found.size() < 2) continue;
      const auto& [size, method, digest] = key;
      DuplicateGroup group{size, {found.begin(), found.end()}, std::nullopt, std::nullopt, false};
      std::sort(group.members.begin(), group.members.end());
      (method == DigestKind::kHash ? group.sha256 : group.fingerprint) = digest;
      groups.push_back(std::move(group));
    }
    return groups;
  }

  // The whole-content SHA-256 of every member through the channel; groups split where they differ.
  std::vector<DuplicateGroup> hash(const std::vector<DuplicateGroup>& groups) {
    std::vector<std::pair<std::size_t, std::size_t>> tasks;  // group, member
    for (std::size_t g = 0; g < groups.size(); ++g) {
      for (const auto i : groups[g].members) tasks.emplace_back(g, i);
    }
    Progress progress(settings_.showProgress, tasks.size(), "hashing");
    std::vector<std::map<std::string, std::vector<std::size_t>>> byDigest(groups.size());
    runInOrder<Result<std::string>>(
        tasks.size(), settings_.threads,
        [&](std::size_t n) {
          const auto& member = members_[tasks[n].second];
          auto answer = source_.digest(member, DigestKind::kHash);
          progress.advance(answer ? member.status.size : 0);
          return answer;
        },
        [&](std::size_t n, Result<std::string>& answer) {
          const auto [g, i] = tasks[n];
          if (!answer) {
            leaveOut(progress, i, answer.error());
            return true;
          }
          result_.bytesRead += members_.status(i).size;
          byDigest[g][std::move(*answer)].push_back(i);
          return true;
        });

    std::vector<DuplicateGroup> split;
    for (std::size_t g = 0; g < groups.size(); ++g) {
      for (auto& [digest, found] : byDigest[g]) {
        if (found.size() >= 2) split.push_back({groups[g].size, std::move(found), digest, std::nullopt, false});
      }
    }
    return split;
  }

  // Every group compared byte by byte; groups split where their members differ.
  std::vector<DuplicateGroup> compare(std::vector<DuplicateGroup>& groups) {
    // The largest first, so that threads finish together.
    std::sort(groups.begin(), groups.end(),
              [](const auto& a, const auto& b) { return a.size * a.members.size() > b.size * b.members.size(); });
    std::uint64_t files = 0;
    for (const auto& group : groups) files += group.members.size();
    Progress progress(settings_.showProgress, files, "comparing");
    std::vector<DuplicateGroup> split;
    runInOrder<Comparison>(
        groups.size(), settings_.threads,
        [&](std::size_t g) {
          auto comparison = compareGroup(groups[g], [&](std::uint64_t bytes) { progress.advance(bytes, 0); });
          progress.advance(0, groups[g].members.size());
          return comparison;
        },
        [&](std::size_t g, Comparison& comparison) {
          const auto& group = groups[g];
          result_.bytesRead += comparison.bytesRead;
          for (const auto& trouble : comparison.troubles) {
            leaveOut(progress, group.members[trouble.index], trouble.changed, trouble.why);
          }
          for (const auto& found : comparison.classes) {
            DuplicateGroup part{group.size, {}, group.sha256, std::nullopt, false};
            for (const auto k : found) part.members.push_back(group.members[k]);
            split.push_back(std::move(part));
          }
          return true;
        });
    return split;
  }

  // One group's comparison, as classes of indices into its members. A group larger than the
  // window is compared a window at a time against its first member, which is read again for
  // each window: only paranoid runs compare such groups.
  Comparison compareGroup(const DuplicateGroup& group, const std::function<void(std::uint64_t)>& onRead) const {
    const std::size_t width = std::min(group.members.size(), settings_.compareWindow);
    const std::size_t share = kCompareBudget / std::max<std::size_t>(1, settings_.threads) / width;
    const std::size_t chunk = std::clamp(share / kMinChunk * kMinChunk, kMinChunk, kMaxChunk);
    const auto compareSome = [&](const std::vector<std::size_t>& which) {
      std::vector<ComparedFile> files;
      for (const auto k : which) {
        const auto& member = members_[group.members[k]];
        files.push_back({source_.open(member), member.status});
      }
      auto comparison = compareInStep(files, chunk, onRead);
      // Back to indices into the group's members.
      for (auto& found : comparison.classes) {
        for (auto& k : found) k = which[k];
      }
      for (auto& trouble : comparison.troubles) trouble.index = which[trouble.index];
      return comparison;
    };

    std::vector<std::size_t> pending(group.members.size());
    for (std::size_t k = 0; k < pending.size(); ++k) pending[k] = k;
    if (pending.size() <= settings_.compareWindow) return compareSome(pending);

    Comparison result;
    while (pending.size() >= 2) {
      const std::size_t first = pending.front();
      std::vector<std::size_t> same{first}, rest;
      bool firstLost = false;
      std::size_t next = 1;
      while (next < pending.size() && !firstLost) {
        std::vector<std::size_t> window{first};
        for (; next < pending.size() && window.size() < settings_.compareWindow; ++next)
          window.push_back(pending[next]);
        auto comparison = compareSome(window);
        result.bytesRead += comparison.bytesRead;
        std::vector<bool> placed(window.size(), false);
        for (const auto& trouble : comparison.troubles) {
          result.troubles.push_back(trouble);
          firstLost = firstLost || trouble.index == first;
          placed[std::find(window.begin(), window.end(), trouble.index) - window.begin()] = true;
        }
        for (const auto& found : comparison.classes) {
          if (found.front() != first) continue;
          for (const auto k : found) placed[std::find(window.begin(), window.end(), k) - window.begin()] = true;
          same.insert(same.end(), found.begin() + 1, found.end());
        }
        for (std::size_t w = 1; w < window.size(); ++w) {
          if (!placed[w]) rest.push_back(window[w]);
        }
      }
      if (firstLost) {
        // Without the first, nothing found equal to it is known to be equal to anything.
        rest.insert(rest.end(), same.begin() + 1, same.end());
        rest.insert(rest.end(), pending.begin() + static_cast<std::ptrdiff_t>(next), pending.end());
      } else if (same.size() >= 2) {
        result.classes.push_back(std::move(same));
      }
      std::sort(rest.begin(), rest.end());
      pending = std::move(rest);
    }
    std::sort(result.classes.begin(), result.classes.end());
    return result;
  }

  void leaveOut(Progress& progress, std::size_t i, const Error& error) {
    leaveOut(progress, i, error.kind == Error::Kind::kChanged, error.text());
  }
  void leaveOut(Progress& progress, std::size_t i, bool changed, const std::string& why) {
    ++(changed ? result_.changed : result_.failed);
    progress.printLine("corvane: " + quoteName(members_[i].name) + ": " +
                       (changed ? std::string("changed during the run; left out of every group") : why));
  }

  const Members& members_;
  const DupesSource& source_;
  const FinderSettings& settings_;
  FinderResult result_;
};

}  // namespace

FinderResult findDuplicates(const Members& members, const DupesSource& source, const FinderSettings& settings) {
  return Finder(members, source, settings).run();
}

}  // namespace corvane::tool
