#include "catalog/store/postgres_name.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <vector>

#include "catalog/store/libpq_library.h"

namespace corvane::tool::catalog {
namespace {

constexpr std::string_view kHidden = "…";

// What splits a connection string into the parts libpq may quote one at a time.
constexpr const char* kSeparators = "@/:?&=;\"' \t";

std::size_t findIgnoringCase(std::string_view text, std::string_view word) {
  // Iterators, not ranges: clang builds this file too (the fuzzer), and its ranges lack GCC's.
  const auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                 [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
  return found == text.end() ? std::string_view::npos : static_cast<std::size_t>(found - text.begin());
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// A connection string split into what may be shown and what is, or may be meant as, a password.
struct Masked {
  std::string shown;
  std::vector<std::string> secrets;  // as written, and percent-decoded
  std::string keywordsOnly;          // libpq's reading of keyword pairs, every value hidden
};

void hide(Masked& masked, std::string_view secret) {
  masked.shown += kHidden;
  if (secret.empty()) return;
  masked.secrets.emplace_back(secret);
  masked.secrets.push_back(percentDecoded(secret));
}

// A URI: everything from the first parameter that names a password (its decoded name holds
// "pass") to the end, since a password may hold '&' unencoded; and, before that, whatever stands
// between the user's name and the last '@' (a password holding '/', '?' or '@' included).
Masked maskedUri(std::string_view uri, std::size_t authority) {
  std::size_t secretParameter = std::string_view::npos;
  for (auto at = uri.find_first_of("?&", authority); at != std::string_view::npos;
       at = uri.find_first_of("?&", at + 1)) {
    const auto equals = uri.find('=', at + 1);
    if (equals == std::string_view::npos) break;
    const auto name = uri.substr(at + 1, equals - at - 1);
    if (name.find_first_of("?&") == std::string_view::npos &&
        findIgnoringCase(percentDecoded(name), "pass") != std::string_view::npos) {
      secretParameter = equals + 1;
      break;
    }
  }
  const std::string_view before = uri.substr(0, secretParameter);
  Masked masked{std::string(uri.substr(0, authority)), {}, {}};
  std::string_view rest = before.substr(authority);
  if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
    if (const auto colon = rest.find(':'); colon < at) {
      masked.shown += rest.substr(0, colon + 1);
      hide(masked, rest.substr(colon + 1, at - colon - 1));
      rest = rest.substr(at);
    }
  }
  masked.shown += rest;
  if (secretParameter != std::string_view::npos) hide(masked, uri.substr(secretParameter));
  return masked;
}

// keyword=value pairs that libpq could not read: everything from the first mention of a password
// (its keyword as written, up to its '=').
Masked maskedKeywords(std::string_view conninfo) {
  const auto at = findIgnoringCase(conninfo, "pass");
  if (at == std::string_view::npos) return {std::string(conninfo), {}, {}};
  const auto equals = conninfo.find('=', at);
  const auto cut = equals == std::string_view::npos ? at + 4 : equals + 1;
  Masked masked{std::string(conninfo.substr(0, cut)), {}, {}};
  hide(masked, conninfo.substr(cut));
  return masked;
}

struct OptionsFreer {
  const Libpq* pq;
  void operator()(PQconninfoOption* options) const { pq->PQconninfoFree(options); }
};

// A value as libpq's keyword=value form reads it back.
std::string quoted(std::string_view value) {
  if (!value.empty() && value.find_first_of(" \t\n\r\f\v'\\") == std::string_view::npos) return std::string(value);
  std::string text = "'";
  for (const char c : value) {
    if (c == '\'' || c == '\\') text += '\\';
    text += c;
  }
  return text + "'";
}

// libpq's own reading of the string, as keyword=value pairs with the password it would use left
// out; nullopt when libpq is missing or cannot read it.
std::optional<Masked> parsed(std::string_view conninfo) {
  std::string ignored;
  const Libpq* pq = libpq(ignored);
  if (pq == nullptr) return std::nullopt;
  char* message = nullptr;
  const std::string text(conninfo);
  const std::unique_ptr<PQconninfoOption, OptionsFreer> options(pq->PQconninfoParse(text.c_str(), &message),
                                                                OptionsFreer{pq});
  pq->PQfreemem(message);  // may quote the string: never shown
  if (!options) return std::nullopt;
  Masked masked;
  for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
    if (option->val == nullptr || *option->val == '\0') continue;
    const std::string_view keyword = option->keyword, value = option->val;
    if (!masked.shown.empty()) masked.shown += ' ';
    masked.shown += std::string(keyword) + "=";
    if (!masked.keywordsOnly.empty()) masked.keywordsOnly += ' ';
    masked.keywordsOnly.append(keyword).append("=").append(kHidden);
    if (keyword.find("password") != std::string_view::npos) {  // password, sslpassword
      hide(masked, value);
    } else if (value.starts_with("postgresql://") || value.starts_with("postgres://")) {
      // A URI as a value (dbname=postgresql://…) is read as one by the server's messages.
      Masked uri = maskedUri(value, value.find("://") + 3);
      masked.shown += quoted(uri.shown);
      masked.secrets.insert(masked.secrets.end(), uri.secrets.begin(), uri.secrets.end());
    } else {
      masked.shown += quoted(value);
    }
  }
  return masked;
}

bool holdsAny(std::string_view text, const std::vector<std::string>& secrets) {
  const std::string decoded = percentDecoded(text);
  return std::any_of(secrets.begin(), secrets.end(), [&](const std::string& secret) {
    return text.find(secret) != std::string_view::npos || decoded.find(secret) != std::string::npos;
  });
}

// Whether a quoted piece of a message holds a piece of a secret: the quote, or any part of it
// between the separators of a URI.
bool quotesSecret(std::string_view quote, const std::vector<std::string>& secrets) {
  const auto within = [&](std::string_view piece) {
    return !piece.empty() && std::any_of(secrets.begin(), secrets.end(), [&](const std::string& secret) {
      return secret.find(piece) != std::string::npos || piece.find(secret) != std::string_view::npos;
    });
  };
  if (within(quote)) return true;
  for (std::size_t start = 0; start <= quote.size();) {
    const auto end = std::min(quote.find_first_of(kSeparators, start), quote.size());
    if (within(quote.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

Masked masked(std::string_view conninfo) {
  const bool isUri = conninfo.starts_with("postgresql://") || conninfo.starts_with("postgres://");
  const auto scheme = conninfo.find("://");
  auto libpqs = parsed(conninfo);
  if (!isUri) {
    // keyword=value pairs: libpq's reading of them says all, and shows nothing of its password.
    if (!libpqs) return maskedKeywords(conninfo);
    // As given where nothing in it is a password's or a URI's, or might be (password= given
    // twice, the last one empty, leaves the first one's text in the string).
    if (libpqs->secrets.empty() && findIgnoringCase(conninfo, "pass") == std::string_view::npos &&
        conninfo.find("://") == std::string_view::npos)
      libpqs->shown = conninfo;
    // A password that is also another value's text (host=x password=x): the keywords alone.
    if (holdsAny(libpqs->shown, libpqs->secrets)) libpqs->shown = libpqs->keywordsOnly;
    return std::move(*libpqs);
  }
  Masked uri = maskedUri(conninfo, scheme + 3);
  if (libpqs) {
    if (holdsAny(uri.shown, libpqs->secrets)) uri.shown = std::string(conninfo.substr(0, scheme + 3)) + "…";
    uri.secrets.insert(uri.secrets.end(), libpqs->secrets.begin(), libpqs->secrets.end());
  }
  return uri;
}

}  // namespace

bool isPostgresName(std::string_view name) {
  return name.starts_with("postgresql://") || name.starts_with("postgres://") || name.starts_with("service=");
}

std::string shownPostgresName(std::string_view conninfo) { return masked(conninfo).shown; }

std::string withoutPassword(std::string message, std::string_view conninfo) {
  const auto secrets = masked(conninfo).secrets;
  // Each secret, and each of its parts that libpq may quote alone, wherever it stands; the
  // longest first. Parts of one or two bytes are hidden only where quoted (below): everywhere,
  // they would take letters out of every word.
  std::vector<std::string> hidden;
  for (const auto& secret : secrets) {
    if (secret.size() >= 3) hidden.push_back(secret);
    for (std::size_t start = 0; start < secret.size();) {
      const auto end = std::min(secret.find_first_of(kSeparators, start), secret.size());
      if (end - start >= 3) hidden.push_back(secret.substr(start, end - start));
      start = end + 1;
    }
  }
  std::sort(hidden.begin(), hidden.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  for (const auto& secret : hidden) {
    for (auto at = message.find(secret); at != std::string::npos; at = message.find(secret, at + kHidden.size()))
      message.replace(at, secret.size(), kHidden);
  }
  // What libpq quotes of the string it could not use ("s3c" of a password holding '/', read as a
  // port; "ret@" of one holding '@', read as a host), or of a service file's line it misread
  // ("host password=…"): every text between two quotes is looked at, so that a quote within a
  // password cannot pair the others wrongly.
  std::vector<std::size_t> quotes;
  for (auto at = message.find('"'); at != std::string::npos; at = message.find('"', at + 1)) quotes.push_back(at);
  std::vector<bool> masks(quotes.size(), false);
  for (std::size_t q = 0; q + 1 < quotes.size(); ++q) {
    const std::string_view quote(message.data() + quotes[q] + 1, quotes[q + 1] - quotes[q] - 1);
    masks[q] = quotesSecret(quote, secrets) || findIgnoringCase(quote, "pass") != std::string_view::npos;
  }
  std::string cleaned;
  std::size_t from = 0;
  for (std::size_t q = 0; q < quotes.size(); ++q) {
    cleaned.append(message, from, quotes[q] + 1 - from);
    from = quotes[q] + 1;
    if (masks[q]) {
      cleaned += kHidden;
      from = quotes[q + 1];
    }
  }
  cleaned.append(message, from);
  return cleaned;
}

}  // namespace corvane::tool::catalog
