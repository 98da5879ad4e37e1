#pragma once

namespace corvane::tool {

// The command's exit statuses. Out of memory, or any other failure that stops a run, ends with
// one line and kExitFailed (kExitInAlbumError for in-album); so does a failed write to standard
// output, as in sha256sum.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;          // some path, asset or check failed
inline constexpr int kExitUsage = 2;           // the command line is wrong
inline constexpr int kExitNotImplemented = 3;  // call: the plug-in has no such method
// in-album, as grep: 0 true, 1 false, 2 no answer (whatever the reason).
inline constexpr int kExitInAlbumError = 2;

}  // namespace corvane::tool
