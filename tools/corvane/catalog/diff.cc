#include "catalog/diff.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace corvane::tool::catalog {
namespace {

using Index = std::vector<std::uint32_t>;

Index allOf(const Side& side) {
  Index order(side.items.size());
  std::iota(order.begin(), order.end(), 0u);
  return order;
}

Index byName(const Side& side) {
  Index order = allOf(side);
  const auto less = [&](std::uint32_t x, std::uint32_t y) { return side.nameOf(x) < side.nameOf(y); };
  if (!std::is_sorted(order.begin(), order.end(), less)) std::sort(order.begin(), order.end(), less);
  return order;
}

// The items of a side that have one kind of digest, ordered by size and that digest, for
// finding those that hold a given content. The order is kept as compact keys (size, the
// digest's first eight bytes, item), which sort and search without touching the items; items
// whose keys are equal are told apart by their whole digests where it matters.
class ContentIndex {
 public:
  using Kind = std::optional<Digest> Entry::*;

  // With `fingerprinted` false, only items without a fingerprint.
  ContentIndex(const Side& side, Kind kind, bool fingerprinted) : side_(side), kind_(kind) {
    for (std::uint32_t i = 0; i < side.items.size(); ++i) {
      if (!fingerprinted && entry(i).fingerprint) continue;
      if (const auto& digest = entry(i).*kind_) keys_.push_back({entry(i).size, prefixOf(*digest), i});
    }
    std::sort(keys_.begin(), keys_.end());
  }

  // Every item whose size and digest prefix of this kind equal `probe`'s, in order: callers
  // compare whole contents.
  template <typename Visit>
  void forEachWithKey(const Entry& probe, Visit visit) const {
    if (!(probe.*kind_)) return;
    const Key wanted{probe.size, prefixOf(*(probe.*kind_)), 0};
    for (auto it = std::lower_bound(keys_.begin(), keys_.end(), wanted);
         it != keys_.end() && it->sameContentKey(wanted); ++it) {
      if (!visit(it->item)) return;
    }
  }

  // Runs of items with one size and digest of this kind, each run in item order.
  template <typename Visit>
  void forEachRun(Visit visit) const {
    Index run;
    for (std::size_t start = 0; start < keys_.size();) {
      std::size_t end = start + 1;
      while (end < keys_.size() && keys_[end].sameContentKey(keys_[start])) ++end;
      if (end - start >= 2) {
        // Equal prefixes, rarely different digests: split by the whole digest.
        run.clear();
        for (std::size_t k = start; k < end; ++k) run.push_back(keys_[k].item);
        std::sort(run.begin(), run.end(), [&](std::uint32_t x, std::uint32_t y) {
          return std::tie(*(entry(x).*kind_), x) < std::tie(*(entry(y).*kind_), y);
        });
        for (std::size_t s = 0; s < run.size();) {
          std::size_t e = s + 1;
          while (e < run.size() && *(entry(run[e]).*kind_) == *(entry(run[s]).*kind_)) ++e;
          if (e - s >= 2)
            visit(Index(run.begin() + static_cast<std::ptrdiff_t>(s), run.begin() + static_cast<std::ptrdiff_t>(e)));
          s = e;
        }
      }
      start = end;
    }
  }

 private:
  struct Key {
    std::uint64_t size;
    std::uint64_t prefix;
    std::uint32_t item;
    bool operator<(const Key& other) const {
      return std::tie(size, prefix, item) < std::tie(other.size, other.prefix, other.item);
    }
    bool sameContentKey(const Key& other) const { return size == other.size && prefix == other.prefix; }
  };

  static std::uint64_t prefixOf(const Digest& digest) {
    std::uint64_t prefix = 0;
    for (int i = 0; i < 8; ++i) prefix = prefix << 8 | digest[static_cast<std::size_t>(i)];
    return prefix;
  }
  const Entry& entry(std::uint32_t i) const { return side_.items[i].entry; }

  const Side& side_;
  Kind kind_;
  std::vector<Key> keys_;
};

// Finds the items of a side that hold the content of an entry of the other side.
class ContentFinder {
 public:
  // SHA-256 alone is looked up for items without a fingerprint, and, when `probedBySha256`
  // (the other side has such items), for every item.
  ContentFinder(const Side& side, bool probedBySha256)
      : side_(side), byFingerprint_(side, &Entry::fingerprint, true), bySha256_(side, &Entry::sha256, probedBySha256) {}

  // Calls `visit(index, confirmed)` for each item holding `probe`'s content until it returns false.
  template <typename Visit>
  void forEachMatch(const Entry& probe, Visit visit) const {
    bool going = true;
    const auto check = [&](std::uint32_t i) {
      bool confirmed = false;
      if (compareContent(probe, side_.items[i].entry, &confirmed) == Sameness::kSame) going = visit(i, confirmed);
      return going;
    };
    byFingerprint_.forEachWithKey(probe, check);
    if (!going) return;
    // By SHA-256 alone only where fingerprints cannot tell (one of the two has none).
    bySha256_.forEachWithKey(probe, [&](std::uint32_t i) {
      return probe.fingerprint && side_.items[i].entry.fingerprint ? true : check(i);
    });
  }

  bool holds(const Entry& probe) const {
    bool found = false;
    forEachMatch(probe, [&](std::uint32_t, bool) { return !(found = true); });
    return found;
  }

  // Groups of two or more items of one root of this side that hold one content: copies in two
  // roots of one catalog are a folder and its backup, not duplicates.
  void groups(bool sideA, std::vector<DiffResult::Group>& out) const {
    const auto emit = [&](Index run, bool confirmed) {
      std::sort(run.begin(), run.end(), [&](std::uint32_t x, std::uint32_t y) {
        return std::tie(side_.items[x].root, x) < std::tie(side_.items[y].root, y);
      });
      for (std::size_t s = 0; s < run.size();) {
        std::size_t e = s + 1;
        while (e < run.size() && side_.items[run[e]].root == side_.items[run[s]].root) ++e;
        if (e - s >= 2)
          out.push_back({sideA,
                         std::vector<std::size_t>(run.begin() + static_cast<std::ptrdiff_t>(s),
                                                  run.begin() + static_cast<std::ptrdiff_t>(e)),
                         confirmed});
        s = e;
      }
    };
    byFingerprint_.forEachRun([&](const Index& run) {
      const bool allHashed =
          std::all_of(run.begin(), run.end(), [&](std::uint32_t i) { return item(i).sha256.has_value(); });
      if (!allHashed) return emit(run, false);
      // The fingerprint saw the same samples; SHA-256 tells whether the rest agrees.
      Index sorted = run;
      std::sort(sorted.begin(), sorted.end(),
                [&](std::uint32_t x, std::uint32_t y) { return *item(x).sha256 < *item(y).sha256; });
      for (std::size_t s = 0; s < sorted.size();) {
        std::size_t e = s + 1;
        while (e < sorted.size() && *item(sorted[e]).sha256 == *item(sorted[s]).sha256) ++e;
        if (e - s >= 2)
          emit(Index(sorted.begin() + static_cast<std::ptrdiff_t>(s), sorted.begin() + static_cast<std::ptrdiff_t>(e)),
               true);
        s = e;
      }
    });
    // Items known by SHA-256 alone (a library's images).
    bySha256_.forEachRun([&](const Index& run) {
      Index unfingerprinted;
      for (const auto i : run) {
        if (!item(i).fingerprint) unfingerprinted.push_back(i);
      }
      if (unfingerprinted.size() >= 2) emit(unfingerprinted, true);
    });
  }

 private:
  const Entry& item(std::uint32_t i) const { return side_.items[i].entry; }

  const Side& side_;
  ContentIndex byFingerprint_, bySha256_;
};

enum class PathState : std::uint8_t { kUnmatched, kSame, kChanged, kUnknown };

}  // namespace

std::vector<LoneRoot> alignSides(Side& a, Side& b, bool pairRoots) {
  std::vector<LoneRoot> lone;
  if (a.roots.size() <= 1 && b.roots.size() <= 1) {
    for (auto* side : {&a, &b}) {
      for (auto& item : side->items) item.name.clear();
    }
    return lone;
  }
  bool machinesDiffer = false;
  const std::string* first = nullptr;
  for (const auto* side : {&a, &b}) {
    for (const auto& machine : side->machines) {
      if (first == nullptr) first = &machine;
      machinesDiffer |= machine != *first;
    }
  }
  const auto holds = [](const Side& side, const std::string& machine, const std::string& path) {
    for (std::size_t r = 0; r < side.roots.size(); ++r) {
      if (side.roots[r] == path && side.machines[r] == machine) return true;
    }
    return false;
  };
  bool shared = false;
  for (std::size_t r = 0; pairRoots && r < a.roots.size(); ++r) shared |= holds(b, a.machines[r], a.roots[r]);
  for (auto* side : {&a, &b}) {
    const Side& other = side == &a ? b : a;
    std::vector<bool> kept(side->roots.size(), true);
    std::vector<std::size_t> entries(side->roots.size(), 0);
    for (std::size_t r = 0; r < side->roots.size(); ++r) {
      kept[r] = !shared || holds(other, side->machines[r], side->roots[r]);
    }
    std::vector<std::string> prefixes;
    for (std::size_t r = 0; r < side->roots.size(); ++r) {
      const auto& path = side->roots[r];
      prefixes.push_back((machinesDiffer ? side->machines[r] + ":" : std::string()) + (path == "/" ? "/" : path + "/"));
    }
    std::erase_if(side->items, [&](const Side::Item& item) {
      ++entries[item.root];
      return !kept[item.root];
    });
    for (auto& item : side->items) item.name = prefixes[item.root] + item.entry.path;
    for (std::size_t r = 0; r < side->roots.size(); ++r) {
      if (!kept[r]) lone.push_back({side == &a, side->machines[r], side->roots[r], entries[r]});
    }
  }
  return lone;
}

std::string Side::locationOf(std::size_t i) const {
  const std::string& root = roots[items[i].root];
  return (root == "/" ? "/" : root + "/") + items[i].entry.path;
}

DiffResult diffSides(const Side& a, const Side& b) {
  DiffResult result;
  const Index namesA = byName(a), namesB = byName(b);
  std::vector<PathState> stateA(a.items.size(), PathState::kUnmatched), stateB(b.items.size(), PathState::kUnmatched);

  // Paths both sides hold.
  for (std::size_t i = 0, j = 0; i < namesA.size() && j < namesB.size();) {
    const auto x = namesA[i], y = namesB[j];
    const int order = a.nameOf(x).compare(b.nameOf(y));
    if (order < 0) {
      ++i;
    } else if (order > 0) {
      ++j;
    } else {
      bool confirmed = false;
      const auto same = compareContent(a.items[x].entry, b.items[y].entry, &confirmed);
      PathState state = PathState::kUnknown;
      if (same == Sameness::kSame) {
        state = PathState::kSame;
        ++result.same;
        if (confirmed) ++result.sameConfirmed;
      } else if (same == Sameness::kDifferent) {
        state = PathState::kChanged;
        result.changed.push_back(x);
      } else {
        ++result.notComparable;
      }
      stateA[x] = stateB[y] = state;
      ++i;
      ++j;
    }
  }

  // Contents that left a path of A for a path of B.
  const auto unfingerprinted = [](const Side& side) {
    return std::any_of(side.items.begin(), side.items.end(), [](const Side::Item& i) { return !i.entry.fingerprint; });
  };
  const ContentFinder inA(a, unfingerprinted(b)), inB(b, unfingerprinted(a));
  std::vector<bool> pairedA(a.items.size(), false), pairedB(b.items.size(), false);
  const auto open = [](PathState state) { return state == PathState::kUnmatched || state == PathState::kChanged; };
  for (const auto x : namesA) {
    if (!open(stateA[x])) continue;
    inB.forEachMatch(a.items[x].entry, [&](std::uint32_t y, bool confirmed) {
      if (!open(stateB[y]) || pairedB[y]) return true;
      pairedA[x] = pairedB[y] = true;
      result.moved.push_back({x, y, confirmed});
      return false;
    });
  }

  // What one side holds and the other holds nowhere.
  for (const auto x : namesA) {
    if (stateA[x] == PathState::kSame) continue;
    const bool elsewhere = pairedA[x] || inB.holds(a.items[x].entry);
    if (!elsewhere) {
      result.missing.push_back(x);
      if (stateA[x] == PathState::kUnmatched) result.onlyA.push_back(x);
    }
  }
  for (const auto y : namesB) {
    if (stateB[y] == PathState::kUnmatched && !pairedB[y] && !inA.holds(b.items[y].entry)) result.onlyB.push_back(y);
  }

  inA.groups(true, result.heldMoreThanOnce);
  inB.groups(false, result.heldMoreThanOnce);
  return result;
}

}  // namespace corvane::tool::catalog
