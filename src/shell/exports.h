#pragma once

#include "host/plugin_registrar.h"

// What the plug-in's shared library exports, and nothing more.
#define CORVANE_EXPORT __attribute__((visibility("default")))

extern "C" {
// The host's registration entry: registers one plug-in object with the registrar.
CORVANE_EXPORT void CorvanePluginRegisterWithRegistrar(corvane::host::FlutterPluginRegistrar* registrar);
CORVANE_EXPORT extern const double corvaneVersionNumber;
CORVANE_EXPORT extern const char corvaneVersionString[];
}
