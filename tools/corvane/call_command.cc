#include "call_command.h"

#include <unistd.h>

#include "exit_status.h"
#include "json_value.h"
#include "library_location.h"
#include "output.h"
#include "plugin_host.h"

namespace corvane::tool {

void addCallCommand(CLI::App& app, CallOptions& options) {
  auto* call = app.add_subcommand("call", "Send one call on the channel \"corvane\" and print the answer as JSON");
  call->add_option("METHOD", options.method, "The method's name")->required();
  call->add_option("ARG", options.argument,
                   "The argument: JSON when it parses as JSON, else plain text; none when left out");
  call->add_option("--library", options.library,
                   "The photo library: a folder (default: your pictures folder)");
  call->footer(
      "Examples:\n"
      "  corvane call getPlatformVersion\n"
      "  corvane call fingerprintOfFile /path/to/file\n"
      "  corvane --trace call hashFile /path/to/file\n"
      "  corvane call --library ~/Pictures hashAsset 'Holidays/beach.png'\n"
      "  corvane call --library ~/Pictures getIfAssetExistInAlbum \\\n"
      "      '{\"assetId\": \"Holidays/beach.png\", \"pathId\": \"Holidays\", \"isUserAlbum\": true}'\n"
      "\nExit status: 0 answered, 1 error reply, 2 usage error, 3 method not implemented.");
}

int runCall(const CommonOptions& common, const CallOptions& options) {
  std::string error;
  LentServices services;
  services.console = common.quiet ? std::shared_ptr<platform::Console>(std::make_shared<platform::SilentConsole>())
                                  : std::make_shared<platform::DescriptorConsole>(STDERR_FILENO);
  services.libraryLocation = libraryLocation(options.library, false, error);
  if (!error.empty()) {
    printError(error);
    return kExitFailed;
  }
  auto host = PluginHost::start(common.plugin, services, error);
  if (!host) {
    printError(error);
    return kExitFailed;
  }
  host::FlutterMethodCall call{options.method, options.argument ? argumentValue(*options.argument) : host::Value{}};
  const auto reply = host->call(call, common.trace);
  if (const auto* value = std::get_if<host::Value>(&reply)) {
    printOut(jsonLine(toJson(*value)));
    return kExitOk;
  }
  if (std::holds_alternative<host::MethodNotImplemented>(reply)) {
    printError("the plug-in does not implement the method \"" + options.method + "\"");
    return kExitNotImplemented;
  }
  const auto& failure = std::get<host::FlutterError>(reply);
  printError("error reply " + failure.code + (failure.message ? ": " + *failure.message : std::string()));
  return kExitFailed;
}

}  // namespace corvane::tool
