#pragma once

#include <cstdint>
#include <memory>

#include "corvane/corvane.h"
#include "platform/console.h"
#include "platform/file_error.h"
#include "platform/file_observer.h"
#include "platform/file_status.h"
#include "platform/file_system.h"

namespace corvane::host {

// The services a host lends the plug-in, on both sides of the C boundary: a host lends its
// C++ objects as the header's structs of function pointers, and the plug-in takes those structs
// as C++ objects again. Both sides compile this one mapping, so the codes of the header and the
// platform layer's types can never be read two ways.

std::int32_t fileTypeCode(platform::FileType type);
platform::FileType fileTypeOfCode(std::int32_t code);
std::int32_t fileErrorReasonCode(platform::FileError::Reason reason);
platform::FileError::Reason fileErrorReasonOfCode(std::int32_t code);

// The plug-in's side: what a host lent, as objects that call the host's functions; none when
// nothing usable was lent. The structs are copied; the functions must stay callable.
std::shared_ptr<platform::Console> lentConsole(const CorvaneConsole* console);
std::shared_ptr<platform::FileObserver> lentFileObserver(const CorvaneFileObserver* observer);
// A file system that opens the paths of the file methods (no base folder, links followed)
// through the host's opener, and does everything else with `rest`.
std::shared_ptr<platform::FileSystem> lentFileOpener(const CorvaneFileOpener* opener,
                                                     std::shared_ptr<platform::FileSystem> rest);

// A host's side: its objects as structs whose functions call them. Nothing the plug-in calls
// through them lets an exception out. The objects must outlive the plug-in's use of them.
CorvaneConsole lendConsole(platform::Console& console);
CorvaneFileObserver lendFileObserver(platform::FileObserver& observer);
// Opens with `files.openFile(nullptr, path, Resolve::kFollow)`.
CorvaneFileOpener lendFileOpener(platform::FileSystem& files);

}  // namespace corvane::host
