#include "file_report.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

namespace corvane::tool {
namespace {

thread_local FileReport current;

}  // namespace

void FileReporter::fileRead(std::string_view, const platform::FileStatus& status) { current.status = status; }

void FileReporter::fileFailed(std::string_view, const platform::FileError& error) { current.error = error; }

FileReport FileReporter::take() { return std::exchange(current, {}); }

ReportedReply callReporting(const PluginHost& host, const host::FlutterMethodCall& call, bool trace) {
  constexpr int kAttempts = 200;
  ReportedReply answer;
  for (int attempt = 1;; ++attempt) {
    FileReporter::take();
    answer.reply = host.call(call, trace);
    answer.report = FileReporter::take();
    const auto& error = answer.report.error;
    const bool noDescriptor = error && (error->code == EMFILE || error->code == ENFILE);
    if (!noDescriptor || attempt == kAttempts) return answer;
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 : 5));
  }
}

}  // namespace corvane::tool
