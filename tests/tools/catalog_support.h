#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace corvane::testing {

// Helpers the catalog tests share.

std::vector<std::string> lines(const std::string& text);
std::string readBytes(const std::filesystem::path& path);

// The fingerprint as defined: SHA-256 over the size (8 bytes, little-endian), then the whole
// content up to 102400 bytes, else five 16384-byte samples at 0, size/4, 2 size/4, 3 size/4 and
// size - 16384. Computed here with OpenSSL's one-shot call, apart from the code under test.
std::string referenceFingerprint(const std::string& content);

// Time stamps move in ticks: a file written within one of a scan is read again by the next. The
// tests that count reads wait this long after writing their trees.
void waitPastRacyWindow();

// Starts the built command without waiting for it; its output goes nowhere.
int spawnCorvane(const std::vector<std::string>& arguments);
// Waits for a started command: its exit status, or -1 when a signal ended it.
int waitFor(int pid);

}  // namespace corvane::testing
