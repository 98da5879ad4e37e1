#include "call/call_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "call/json_value.h"
#include "cli/exit_status.h"
#include "host/standard_reader.h"
#include "inputs/library_location.h"
#include "plugin/plugin_client.h"
#include "text/escape.h"
#include "text/output.h"

namespace corvane::tool {

void addCallCommand(CLI::App& app, CallOptions& options, CommonOptions& common) {
  auto* call = app.add_subcommand("call", "Send one call on the channel \"corvane\" and print the answer as JSON");
  call->add_option("METHOD", options.method, "The method's name")->required()->type_name("");
  call->add_option("ARG", options.argument,
                   "The argument: JSON when it parses as JSON (nested at most " +
                       std::to_string(host::StandardReader::kMaxDepth) +
                       " deep, as the channel carries), else plain text; none when left out")
      ->type_name("");
  call->add_option("--library", options.library, "The photo library: a folder (default: your pictures folder)")
      ->type_name("DIR");
  addCommonOptions(*call, common);
  call->footer(
      helpFooter("  corvane call getPlatformVersion\n"
                 "  corvane call fingerprintOfFile /path/to/file\n"
                 "  corvane --trace call hashFile /path/to/file\n"
                 "  corvane call --library ~/Pictures hashAsset 'Holidays/beach.png'\n"
                 "  corvane call --library ~/Pictures getIfAssetExistInAlbum \\\n"
                 "      '{\"assetId\": \"Holidays/beach.png\", \"pathId\": \"Holidays\", \"isUserAlbum\": true}'\n"
                 "\nThe plug-in's own lines go to standard error (none with -q).\n",
                 "  0  answered\n"
                 "  1  an error reply; standard output could not be written; or the run could not go on\n"
                 "  2  the command line is wrong (an argument nested too deep, say)\n"
                 "  3  the plug-in does not implement the method"));
}

int runCall(const Context& context, const CallOptions& options) {
  std::optional<host::Value> argument = host::Value{};
  if (options.argument) {
    argument = argumentValue(*options.argument);
    if (!argument) {
      printError("the argument nests deeper than the channel carries (" +
                 std::to_string(host::StandardReader::kMaxDepth) + " levels)");
      return kExitUsage;
    }
  }
  // An unreadable default folder is no library: the plug-in then sees an empty one.
  auto library = libraryLocation(*context.files, options.library, false);
  if (!library) {
    printError(library.error().text());
    return kExitFailed;
  }
  // The channel's own window: the plug-in's lines show unless -q.
  auto client = PluginClient::start(
      context, {context.common.quiet ? std::shared_ptr<platform::Console>(std::make_shared<platform::SilentConsole>())
                                     : std::make_shared<platform::DescriptorConsole>(STDERR_FILENO),
                std::move(*library)});
  if (!client) {
    printError(client.error().text());
    return kExitFailed;
  }
  const auto reply = (*client)->call({options.method, std::move(*argument)});
  if (const auto* value = std::get_if<host::Value>(&reply)) {
    printOut(jsonLine(toJson(*value)));
    return kExitOk;
  }
  if (std::holds_alternative<host::MethodNotImplemented>(reply)) {
    printError("the plug-in does not implement the method " + quoteName(options.method));
    return kExitNotImplemented;
  }
  const auto& error = std::get<host::FlutterError>(reply);
  printError("error reply " + error.code + (error.message ? ": " + *error.message : std::string()));
  return kExitFailed;
}

}  // namespace corvane::tool
