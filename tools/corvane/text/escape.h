#pragma once

#include <string>
#include <string_view>

namespace corvane::tool {

// How names are shown, as sha256sum shows them. Every name the command prints goes through one
// of these two, so a crafted name can neither break a line nor pass for another one.

// In output lines (digests, checks, listings): a name holding a backslash, a line feed or a
// carriage return is written with them as \\, \n and \r, and the whole line then starts with
// a backslash (`escaped`), which tells readers to undo it.
struct EscapedName {
  std::string text;
  bool escaped = false;
};
EscapedName escapeName(std::string_view name);

// A whole output line made of `before`, the name and `after`: the line's backslash goes first.
std::string lineWithName(std::string_view before, std::string_view name, std::string_view after);

// In messages on standard error: quoted for the shell only when needed ('a b', "it's",
// 'new'$'\n''line'), as GNU tools quote file names in their diagnostics; bytes that are no
// printable UTF-8 appear as octal escapes.
std::string quoteName(std::string_view name);

}  // namespace corvane::tool
