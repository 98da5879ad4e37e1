#include "shell/exports.h"

#include "shell/corvane_plugin.h"

extern "C" {

void CorvanePluginRegisterWithRegistrar(corvane::host::FlutterPluginRegistrar* registrar) {
  if (registrar == nullptr) return;
  try {
    corvane::shell::CorvanePlugin::registerWithRegistrar(*registrar);
  } catch (...) {
    // Registration that fails leaves the channel without a handler: calls get the empty reply.
  }
}

const double corvaneVersionNumber = 1.0;
const char corvaneVersionString[] = "corvane 1.0";
}
