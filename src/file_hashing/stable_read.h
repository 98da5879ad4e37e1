#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/file_system.h"
#include "platform/sha256.h"

namespace corvane::file_hashing {

// How the bytes of one read of a file came out.
struct ReadPass {
  std::optional<platform::Sha256Digest> digest;  // none when the hashing library failed
  bool complete = false;                         // as many bytes as the size promised, and no more
};

// Whether a read that gave fewer bytes than asked, and so reached `size`, the size the file
// stated, has met the file's end, with no need of a read that gives nothing: so for a regular
// file, whose status after the read tells whether it grew meanwhile. Not for sizes of whole pages,
// which pseudo-files state whatever they hold, and read a page at a time.
inline bool shortReadEndsAt(std::uint64_t size) { return size % 4096 != 0; }

// How a read of an open file ended, judged from its status before and after.
enum class Verdict { kStable, kChanged, kSizeUntold };

// Reads `file` with `pass`, twice if its last change is so recent that a write begun before
// it was first looked at may still be under way (the system's time stamps would not show such a
// write, nor more writes within the same tick of its clock; two reads that agree, the second
// once the stamps would have moved, with the status unmoved, do). A file whose status moved, or whose reads disagree,
// changed; one that gave other than its size with nothing moved states a size that does not tell its content (a
// pseudo-file). The first pass's outcome is returned in `result`.
platform::FileResult<Verdict> readStably(const platform::File& file, const platform::FileStatus& before,
                                         std::int64_t lookedAtNs,
                                         const std::function<platform::FileResult<ReadPass>()>& pass, ReadPass& result);

}  // namespace corvane::file_hashing
