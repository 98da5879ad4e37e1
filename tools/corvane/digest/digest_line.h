#pragma once

#include <string>
#include <string_view>

namespace corvane::tool {

// How digest lines are written, as sha256sum writes them.
struct LineStyle {
  std::string_view algorithm;  // the BSD form's name for the digest: "SHA256", "FINGERPRINT"
  bool bsd = false;            // --tag: "SHA256 (name) = digest"
  bool binary = false;         // -b: "digest *name"
  bool zero = false;           // -z: lines end with NUL and names are written as they are
};

// One line, without its end: "digest  name", "digest *name" or the BSD form, with the name
// escaped (and the line then starting with a backslash) unless `zero`.
std::string formatDigestLine(const LineStyle& style, std::string_view digest, std::string_view name);

struct DigestLine {
  std::string digest;  // 64 lower-case hexadecimal digits
  std::string name;
};

// Reads the lines of a check list, taking every form sha256sum -c takes: optional leading
// blanks, "digest  name", "digest *name", a single blank or a tab before the name, the BSD form,
// escaped names (a leading backslash), upper-case digits, CRLF line ends; '#' lines and empty
// ones are ignored.
class DigestLineReader {
 public:
  // `algorithm` is the name BSD lines must carry; with `zero`, lines come NUL-terminated and a
  // carriage return at the end belongs to the name.
  DigestLineReader(std::string_view algorithm, bool zero) : algorithm_(algorithm), zero_(zero) {}

  enum class Kind { kIgnored, kMalformed, kEntry };
  // One line without its terminator.
  Kind read(std::string_view line, DigestLine& entry);

 private:
  bool split(std::string_view line, DigestLine& entry);
  bool splitBsd(std::string_view rest, bool escaped, DigestLine& entry) const;

  std::string algorithm_;
  bool zero_;
  // Whether "digest name" lines with one blank are taken; as in sha256sum, the first line of
  // either form decides for the whole run, so a name with a leading blank cannot be faked.
  enum class SingleBlank { kUndecided, kRefused, kTaken } singleBlank_ = SingleBlank::kUndecided;
};

}  // namespace corvane::tool
