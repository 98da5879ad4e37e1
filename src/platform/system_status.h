#pragma once

#include <sys/stat.h>

#include "platform/file_status.h"

namespace corvane::platform {

// What the system's stat says, as the layer's types: the one mapping, for every caller that
// takes a status itself.
FileType fileTypeOfMode(mode_t mode);
FileStatus statusFromStat(const struct stat& s);

}  // namespace corvane::platform
