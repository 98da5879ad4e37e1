#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalog/store/connection.h"
#include "catalog/store/entry.h"

namespace corvane::tool::catalog {

// The rules every value read from a catalog must keep before it is used: a catalog may come
// from another machine, and a crafted row must lead no read, print or merge outside its root.
// Each returns what is wrong, or nothing.

// An entry's path: relative, not empty, no NUL, and no empty, "." or ".." segment.
std::optional<std::string> flawOfEntryPath(std::string_view path);
// A root's path: absolute and clean, as a canonical path is ("/", or "/a/b" with no empty, "."
// or ".." segment and no NUL).
std::optional<std::string> flawOfRootPath(std::string_view path);
// A machine's name: not empty, at most 255 bytes, no control byte and no slash.
std::optional<std::string> flawOfMachine(std::string_view machine);
// An exclusion pattern of a root, as the command line takes them: no NUL, at most 4096 bytes, and
// more than slashes.
std::optional<std::string> flawOfExclusion(std::string_view pattern);

// A digest column of a row: NULL (none), or 32 bytes stored as bytes; false otherwise.
bool digestOfColumn(const Statement& row, int column, std::optional<Digest>& out);

}  // namespace corvane::tool::catalog
