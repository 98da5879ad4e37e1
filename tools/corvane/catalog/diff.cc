#include "catalog/diff.h"

#include <algorithm>
#include <numeric>

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
// finding those that hold a given content.
class ContentIndex {
 public:
  using Kind = std::optional<Digest> Entry::*;

  ContentIndex(const Side& side, Kind kind) : side_(side), kind_(kind) {
    for (std::uint32_t i = 0; i < side.items.size(); ++i) {
      if (entry(i).*kind_) order_.push_back(i);
    }
    std::sort(order_.begin(), order_.end(), [&](std::uint32_t x, std::uint32_t y) { return less(entry(x), entry(y)); });
  }

  // Every item whose size and digest of this kind equal `probe`'s, in order.
  template <typename Visit>
  void forEachWithKey(const Entry& probe, Visit visit) const {
    if (!(probe.*kind_)) return;
    auto it = std::lower_bound(order_.begin(), order_.end(), probe,
                               [&](std::uint32_t x, const Entry& p) { return less(entry(x), p); });
    for (; it != order_.end() && !less(probe, entry(*it)); ++it) {
      if (!visit(*it)) return;
    }
  }

  const Index& order() const { return order_; }
  bool sameKey(std::uint32_t x, std::uint32_t y) const { return !less(entry(x), entry(y)) && !less(entry(y), entry(x)); }

 private:
  const Entry& entry(std::uint32_t i) const { return side_.items[i].entry; }
  bool less(const Entry& x, const Entry& y) const {
    if (x.size != y.size) return x.size < y.size;
    return *(x.*kind_) < *(y.*kind_);
  }

  const Side& side_;
  Kind kind_;
  Index order_;
};

// Finds the items of a side that hold the content of an entry of the other side.
class ContentFinder {
 public:
  explicit ContentFinder(const Side& side)
      : side_(side), byFingerprint_(side, &Entry::fingerprint), bySha256_(side, &Entry::sha256) {}

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

  // Groups of two or more items of this side that hold one content.
  void groups(bool sideA, std::vector<DiffResult::Group>& out) const {
    const auto emit = [&](Index& run, bool confirmed) {
      if (run.size() < 2) return;
      std::sort(run.begin(), run.end());
      out.push_back({sideA, std::vector<std::size_t>(run.begin(), run.end()), confirmed});
    };
    const Index& fingerprinted = byFingerprint_.order();
    for (std::size_t start = 0; start < fingerprinted.size();) {
      std::size_t end = start + 1;
      while (end < fingerprinted.size() && byFingerprint_.sameKey(fingerprinted[start], fingerprinted[end])) ++end;
      Index run(fingerprinted.begin() + static_cast<std::ptrdiff_t>(start), fingerprinted.begin() + static_cast<std::ptrdiff_t>(end));
      start = end;
      if (run.size() < 2) continue;
      const bool allHashed = std::all_of(run.begin(), run.end(), [&](std::uint32_t i) { return item(i).sha256.has_value(); });
      if (!allHashed) {
        emit(run, false);
        continue;
      }
      // The fingerprint saw the same samples; SHA-256 tells whether the rest agrees.
      std::sort(run.begin(), run.end(), [&](std::uint32_t x, std::uint32_t y) { return *item(x).sha256 < *item(y).sha256; });
      for (std::size_t s = 0; s < run.size();) {
        std::size_t e = s + 1;
        while (e < run.size() && *item(run[e]).sha256 == *item(run[s]).sha256) ++e;
        Index part(run.begin() + static_cast<std::ptrdiff_t>(s), run.begin() + static_cast<std::ptrdiff_t>(e));
        emit(part, true);
        s = e;
      }
    }
    // Items known by SHA-256 alone (a library's images).
    const Index& hashed = bySha256_.order();
    for (std::size_t start = 0; start < hashed.size();) {
      std::size_t end = start;
      Index run;
      while (end < hashed.size() && bySha256_.sameKey(hashed[start], hashed[end])) {
        if (!item(hashed[end]).fingerprint) run.push_back(hashed[end]);
        ++end;
      }
      start = end;
      emit(run, true);
    }
  }

 private:
  const Entry& item(std::uint32_t i) const { return side_.items[i].entry; }

  const Side& side_;
  ContentIndex byFingerprint_, bySha256_;
};

enum class PathState : std::uint8_t { kUnmatched, kSame, kChanged, kUnknown };

}  // namespace

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
  const ContentFinder inA(a), inB(b);
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
