#pragma once

#include <string>

namespace corvane::platform {

// Opens `path` beneath the folder `basefd` the slow way, one name at a time relative to folders
// held open, reading every link on the way itself: the kernel's own resolution beneath a folder
// refuses every absolute link, even one that names a place inside that folder by its full path.
// Here such a link is followed as the relative path it stands for; ".." above the folder, and
// any link that leads out, fail with EXDEV. The descriptor, or -1 with errno set.
int openBeneathByHand(int basefd, const std::string& path, int flags);

}  // namespace corvane::platform
