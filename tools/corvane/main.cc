#include <CLI/CLI.hpp>

#include "call_command.h"
#include "exit_status.h"
#include "options.h"
#include "output.h"

using namespace corvane::tool;

int main(int argc, char** argv) {
  CLI::App app{"corvane: content identities for files and photo-library items", "corvane"};
  app.require_subcommand(1);
  app.set_version_flag("--version", [] { return std::string("corvane 1.0"); });
  CommonOptions common;
  app.add_flag("--trace", common.trace, "Show each call's and reply's bytes on standard error");
  app.add_flag("-q,--quiet", common.quiet, "No progress display and no printed lines from the plug-in");

  CallOptions call;
  addCallCommand(app, call);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    printError(e.what());
    printErr("Run 'corvane --help' for usage.");
    return kExitUsage;
  }

  if (app.got_subcommand("call")) return runCall(common, call);
  return kExitUsage;
}
