// The masking of passwords in catalog names on a server: whatever the string, the password libpq
// would read from it is in neither the name shown nor a message of libpq's that quotes any part
// of the string.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "catalog/store/libpq_library.h"
#include "catalog/store/postgres_name.h"

using namespace corvane::tool::catalog;

namespace {

// libpq's own reading of the password, if it reads the string at all.
std::string passwordOf(const Libpq& pq, const std::string& conninfo) {
  char* message = nullptr;
  PQconninfoOption* options = pq.PQconninfoParse(conninfo.c_str(), &message);
  pq.PQfreemem(message);
  std::string password;
  for (const PQconninfoOption* option = options; option && option->keyword != nullptr; ++option) {
    if (std::string_view(option->keyword) == "password" && option->val != nullptr) password = option->val;
  }
  if (options != nullptr) pq.PQconninfoFree(options);
  return password;
}

constexpr std::string_view kMessageStart = "invalid value \"", kMessageEnd = "\" for connection option \"port\"";

// What the masking writes itself: keywords, '=', blanks and the ellipsis, and the message's own
// words. A password of only these may stand in them by chance.
bool standsInOwnText(std::string_view password) {
  if (password.find_first_not_of("abcdefghijklmnopqrstuvwxyz_= \xe2\x80\xa6") == std::string_view::npos) return true;
  return (std::string(kMessageStart) + std::string(kMessageEnd)).find(password) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::string why;
  const Libpq* pq = libpq(why);
  if (pq == nullptr) std::abort();  // the fuzzer is built with libpq at hand
  static constexpr std::string_view kStarts[] = {"postgresql://", "postgres://", "service="};
  const std::string_view start = kStarts[data[0] % 3];
  const std::string conninfo = std::string(start) + std::string(reinterpret_cast<const char*>(data + 2), size - 2);
  if (conninfo.find('\0') != std::string::npos) return 0;  // no C string holds one
  const std::string shown = shownPostgresName(conninfo);
  // A message quoting a part of the string, chosen by the second byte, as libpq's do.
  const std::size_t from = data[1] % conninfo.size();
  const std::string message =
      withoutPassword(std::string(kMessageStart) + conninfo.substr(from) + std::string(kMessageEnd), conninfo);

  const std::string password = passwordOf(*pq, conninfo);
  if (password.size() < 3 || standsInOwnText(password)) return 0;
  const std::string_view afterStart = std::string_view(shown).substr(std::min(shown.size(), start.size()));
  if (afterStart.find(password) != std::string_view::npos) std::abort();
  if (message.find(password) != std::string::npos) std::abort();
  return 0;
}
