#pragma once

namespace corvane::tool {

// The command's exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;          // some path, asset or check failed
inline constexpr int kExitUsage = 2;           // the command line is wrong
inline constexpr int kExitNotImplemented = 3;  // the plug-in has no such method

}  // namespace corvane::tool
