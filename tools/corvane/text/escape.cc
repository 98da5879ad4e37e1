#include "text/escape.h"

#include <locale.h>
#include <wctype.h>

#include <array>
#include <memory>

#include "text/utf8.h"

namespace corvane::tool {
namespace {

// Which characters count as printable is the C library's UTF-8 table, whatever the user's
// locale, so that a name is always shown the same way.
bool printable(char32_t codePoint) {
  static const std::unique_ptr<std::remove_pointer_t<locale_t>, decltype(&::freelocale)> utf8(
      ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr), &::freelocale);
  if (!utf8) return codePoint >= 0xa0;  // C1 controls are no more printable than C0 ones
  return ::iswprint_l(static_cast<wint_t>(codePoint), utf8.get()) != 0;
}

// One character of a name as the shell quoting sees it.
struct Piece {
  std::string_view bytes;
  bool printable = true;            // shown as it is (else escaped, byte by byte)
  bool special = false;             // makes the name need quotes
  bool plainInDoubleQuotes = true;  // means the same between double quotes
};

Piece classify(std::string_view rest, bool first, bool alone) {
  const auto c = static_cast<unsigned char>(rest[0]);
  Piece piece{rest.substr(0, 1)};
  if (c >= 0x80) {
    const auto sequence = decodeUtf8(rest);
    if (sequence.length == 0 || !printable(sequence.codePoint)) {
      return {rest.substr(0, 1), false, true, false};
    }
    piece.bytes = rest.substr(0, sequence.length);
    return piece;
  }
  if (c < 0x20 || c == 0x7f) return {piece.bytes, false, true, false};
  switch (c) {
    case ' ':
    case '\'':
    case ':': piece.special = true; break;
    case '#':
    case '~':
      piece.special = first;
      piece.plainInDoubleQuotes = first;
      break;
    case '{':
    case '}':
      piece.special = alone;
      piece.plainInDoubleQuotes = alone;
      break;
    case '!':
    case '"':
    case '$':
    case '&':
    case '(':
    case ')':
    case '*':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '[':
    case '\\':
    case '^':
    case '`':
    case '|':
      piece.special = true;
      piece.plainInDoubleQuotes = false;
      break;
    default: break;
  }
  return piece;
}

void appendEscape(std::string& out, unsigned char c) {
  static constexpr std::array<char, 7> kNamed{'a', 'b', 't', 'n', 'v', 'f', 'r'};  // \a is 7
  out.push_back('\\');
  if (c >= 7 && c <= 13) {
    out.push_back(kNamed[c - 7]);
    return;
  }
  out.push_back(static_cast<char>('0' + (c >> 6)));
  out.push_back(static_cast<char>('0' + ((c >> 3) & 7)));
  out.push_back(static_cast<char>('0' + (c & 7)));
}

}  // namespace

EscapedName escapeName(std::string_view name) {
  EscapedName result;
  result.escaped = name.find_first_of("\\\n\r") != std::string_view::npos;
  if (!result.escaped) {
    result.text = name;
    return result;
  }
  result.text.reserve(name.size() + 8);
  for (const char c : name) {
    switch (c) {
      case '\\': result.text.append("\\\\"); break;
      case '\n': result.text.append("\\n"); break;
      case '\r': result.text.append("\\r"); break;
      default: result.text.push_back(c);
    }
  }
  return result;
}

std::string lineWithName(std::string_view before, std::string_view name, std::string_view after) {
  const auto escaped = escapeName(name);
  std::string line;
  line.reserve(before.size() + escaped.text.size() + after.size() + 1);
  if (escaped.escaped) line.push_back('\\');
  line.append(before).append(escaped.text).append(after);
  return line;
}

std::string quoteName(std::string_view name) {
  if (name.empty()) return "''";
  bool special = false, singleQuote = false, plain = true;
  for (std::size_t i = 0; i < name.size();) {
    const auto piece = classify(name.substr(i), i == 0, name.size() == 1);
    special = special || piece.special;
    singleQuote = singleQuote || name[i] == '\'';
    plain = plain && piece.printable && piece.plainInDoubleQuotes;
    i += piece.bytes.size();
  }
  if (!special) return std::string(name);
  // An apostrophe reads better between double quotes, when nothing else there is special.
  if (singleQuote && plain) {
    std::string quoted(1, '"');
    quoted.append(name).push_back('"');
    return quoted;
  }

  std::string out = "'";
  bool inDollarQuote = false;  // inside $'...', where escapes are understood
  for (std::size_t i = 0; i < name.size();) {
    const auto piece = classify(name.substr(i), i == 0, name.size() == 1);
    i += piece.bytes.size();
    if (!piece.printable) {
      if (!inDollarQuote) out.append("'$'");
      inDollarQuote = true;
      appendEscape(out, static_cast<unsigned char>(piece.bytes[0]));
      continue;
    }
    if (piece.bytes == "'") {
      out.append("'\\''");
      inDollarQuote = false;
      continue;
    }
    if (inDollarQuote) out.append("''");
    inDollarQuote = false;
    out.append(piece.bytes);
  }
  out.push_back('\'');
  return out;
}

}  // namespace corvane::tool
