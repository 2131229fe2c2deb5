// Sending DICOM files to a PACS by C-STORE, over one association, with what
// became of each file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "network_address.h"

namespace tavrix_tool {

enum class StoreOutcome {
  kStored,      // the PACS answered success, or a warning (it has the object)
  kRefused,     // the PACS answered a failure status, or takes no such object
  kNotSent,     // the PACS could not be reached, or the association broke
  kUnreadable,  // the file is no DICOM object that can be sent
};

struct StoreResult {
  StoreOutcome outcome = StoreOutcome::kNotSent;
  uint16_t status = 0;  // the PACS's answer, when it gave one
  std::string detail;   // why it was not stored, or the PACS's warning; "" otherwise
};

// "" when `path` holds a DICOM object that can be sent: it reads completely
// and names its SOP class and instance. Otherwise the reason.
std::string CheckStorableFile(const std::string& path, std::string* sopInstanceUid = nullptr);

// Told of each file's result as soon as it is known, in the files' order.
using StoreProgress = std::function<void(size_t index, const StoreResult& result)>;

// Sends `files` in order to `connection.peer`, proposing the Digital X-Ray
// storage classes (for presentation and for processing) and the class of
// every other file, each in explicit and in implicit VR little endian (and
// a file's own transfer syntax when it is another). One result per file.
std::vector<StoreResult> StoreFiles(const PeerConnection& connection, const std::vector<std::string>& files,
                                    const StoreProgress& progress = nullptr);

// "0xA700 (Refused: Out of Resources)".
std::string StoreStatusText(uint16_t status);

}  // namespace tavrix_tool
