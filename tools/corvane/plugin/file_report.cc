#include "plugin/file_report.h"

#include <utility>

namespace corvane::tool {
namespace {

thread_local FileReport current;

}  // namespace

void FileReporter::fileRead(std::string_view, const platform::FileStatus& status) { current.status = status; }

void FileReporter::fileFailed(std::string_view, const platform::FileError& error) { current.error = error; }

FileReport FileReporter::take() { return std::exchange(current, {}); }

}  // namespace corvane::tool
