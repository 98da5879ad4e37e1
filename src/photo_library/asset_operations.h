#pragma once

#include <memory>
#include <string>

#include "host/method_result.h"
#include "host/value.h"
#include "photo_library/file_fingerprinter.h"
#include "photo_library/photo_library.h"
#include "platform/console.h"

namespace corvane::photo_library {

// The fingerprint of the file behind a library video. Answers nil at once when there is no such
// asset or it is not a video; otherwise asks the library for the video and answers from its
// handler, on the library's thread, with the fingerprint `plugin` computes, or nil when the
// plug-in object is gone by then.
void fingerprintOfVideoAsset(PhotoLibrary& library, const std::string& assetId, host::FlutterResult result,
                             std::weak_ptr<const FileFingerprinter> plugin, std::shared_ptr<platform::Console> console);

// The SHA-256 of the first resource of an asset, hashed chunk by chunk as the library delivers
// it; nil when there is no such asset, it has no resource, or the library reports an error.
void hashAsset(PhotoLibrary& library, const std::string& assetId, host::FlutterResult result);

// Whether an asset lies in an album; always a boolean, answered before returning.
void getIfAssetExistInAlbum(PhotoLibrary& library, const host::Value& arguments, host::FlutterResult result);

}  // namespace corvane::photo_library
