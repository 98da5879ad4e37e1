#pragma once

#include <memory>

#include "cli/common_options.h"
#include "platform/file_system.h"

namespace corvane::tool {

// What every subcommand runs with: the options they share, and the services main made for the
// run (tests hand in their own, such as a fault-injecting file system).
struct Context {
  CommonOptions common;
  std::shared_ptr<platform::FileSystem> files;
};

}  // namespace corvane::tool
