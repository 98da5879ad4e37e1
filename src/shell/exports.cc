#include "corvane/corvane.h"
#include "shell/corvane_plugin.h"

extern "C" {

void CorvanePluginRegisterWithRegistrar(CorvanePluginRegistrarRef registrar) {
  try {
    corvane::shell::CorvanePlugin::registerWithRegistrar(registrar);
  } catch (...) {
    // Registration that fails leaves the channel without a handler: calls get the host's answer
    // for unhandled messages.
  }
}

const double corvaneVersionNumber = 1.0;
const char corvaneVersionString[] = "corvane 1.0";
}
