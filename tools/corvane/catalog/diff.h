#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalog/store/entry.h"

namespace corvane::tool::catalog {

// What one side of a diff holds.
struct Side {
  struct Item {
    Entry entry;
    std::uint32_t root;  // index into `roots`
    std::string name;    // what paths are matched by: set only when the side has several roots
  };
  std::vector<std::string> roots;     // where each root lies
  std::vector<std::string> machines;  // and on which machine
  std::vector<Item> items;
  std::size_t unreadable = 0;  // files of a folder side that could not be read (each was reported)
  bool flawed = false;         // rows were left out for breaking the catalog's rules (and were reported)

  // Paths relative to the root when there is one root, else where the entry lies.
  const std::string& nameOf(std::size_t i) const { return items[i].name.empty() ? items[i].entry.path : items[i].name; }
  std::string locationOf(std::size_t i) const;
};

// Two sides compared. Paths on both sides are the same or changed; a content that one side holds
// at a path the other lacks, and the other at a path the first lacks, has moved; what is left
// is held by one side only (when the other holds that content nowhere) or is an extra copy,
// which shows among what a side holds more than once. Contents match by size and fingerprint,
// confirmed by SHA-256 where both have one; a library's image (SHA-256 only) matches a file by
// SHA-256, and an entry with no kind of digest in common with the other is "not comparable".
struct DiffResult {
  struct Pair {
    std::size_t a, b;
    bool confirmed;  // by SHA-256
  };
  struct Group {
    bool sideA;
    std::vector<std::size_t> items;
    bool confirmed;
  };
  std::size_t same = 0, sameConfirmed = 0, notComparable = 0;
  std::vector<std::size_t> changed;  // items of A whose path B holds with another content
  std::vector<Pair> moved;
  std::vector<std::size_t> onlyA, onlyB;
  std::vector<Group> heldMoreThanOnce;
  std::vector<std::size_t> missing;  // items of A whose content B holds nowhere, in name order

  bool differ() const { return !changed.empty() || !moved.empty() || !onlyA.empty() || !onlyB.empty(); }
};

DiffResult diffSides(const Side& a, const Side& b);

// A root that one side holds and the other does not, left out of a diff of the roots both hold.
struct LoneRoot {
  bool sideA;
  std::string machine, path;
  std::size_t entries;
};

// Readies two sides for diffSides. When each has one root, paths are compared relative to it.
// Otherwise items are named where they lie (and on which machine, when the machines differ); if
// the sides hold some roots in common (a merged catalog and one of its sources, say), only those
// are compared, root to root, and the others are taken out and returned (unless `pairRoots` is
// false: then every root stays in).
std::vector<LoneRoot> alignSides(Side& a, Side& b, bool pairRoots = true);

}  // namespace corvane::tool::catalog
