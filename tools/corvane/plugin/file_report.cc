#include "file_report.h"

#include <utility>

#include "thread_budget.h"

namespace corvane::tool {
namespace {

thread_local FileReport current;

}  // namespace

void FileReporter::fileRead(std::string_view, const platform::FileStatus& status) { current.status = status; }

void FileReporter::fileFailed(std::string_view, const platform::FileError& error) { current.error = error; }

FileReport FileReporter::take() { return std::exchange(current, {}); }

ReportedReply callReporting(const PluginHost& host, const host::FlutterMethodCall& call, bool trace) {
  return retryForDescriptor(
      [&] {
        FileReporter::take();
        ReportedReply answer;
        answer.reply = host.call(call, trace);
        answer.report = FileReporter::take();
        return answer;
      },
      [](const ReportedReply& answer) { return answer.report.error && noDescriptor(answer.report.error->code); });
}

}  // namespace corvane::tool
