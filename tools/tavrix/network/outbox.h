// The outbox: a folder where every DICOM file waits before it is sent to the
// PACS, and which it leaves only when the PACS answered that it has it. A
// PACS that is down, refuses or does not answer leaves the files where they
// are, for a later send; each is then delivered once.
//
// Files wait under their SOP instance UID ("<uid>.dcm"), so that an image put
// twice waits once. A file that is no DICOM object that can be sent (damaged,
// or dropped there by hand) is moved to the subfolder "rejected", beside a
// note "<name>.reason.txt" that says why, and the others are sent; it is
// never sent nor deleted by the station. Names beginning with a dot are files
// being put, or the lock a send holds, never sent. One send at a time: a
// second one, while the first runs, sends nothing and says so.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "network_address.h"
#include "store_sender.h"

namespace tavrix_tool {

struct OutboxEntry {
  std::string file;    // its name in the outbox
  StoreResult result;  // kUnreadable: moved to "rejected"
};

struct OutboxReport {
  std::string error;                 // "" unless the outbox itself could not be read
  std::vector<OutboxEntry> entries;  // in the order they were sent
  size_t Count(StoreOutcome outcome) const;
  // True when every file that waited is now at the PACS: a command that
  // sends exits 3 ("some not sent") otherwise.
  bool AllSent() const { return error.empty() && Count(StoreOutcome::kStored) == entries.size(); }
};

// After each file: how many of `total` are done, and what became of it.
using OutboxProgress = std::function<void(size_t done, size_t total, const OutboxEntry& entry)>;

class Outbox {
 public:
  static constexpr const char* kRejectedFolder = "rejected";

  explicit Outbox(std::string folder) : folder_(std::move(folder)) {}
  const std::string& Folder() const { return folder_; }

  // Places a copy of the DICOM file `source` in the outbox, complete or not
  // at all (written under a temporary name, then renamed), creating the
  // folder when needed. Returns "" or the reason; a file that cannot be sent
  // is refused here.
  std::string Put(const std::string& source) const;

  // The files waiting, oldest first (paths); none when the outbox does not
  // exist yet. `error` (when given) says why the outbox could not be read.
  std::vector<std::string> Waiting(std::string* error = nullptr) const;

  // Sends every waiting file to `connection.peer` over one association, and
  // removes each the PACS answered success (or a warning) for.
  OutboxReport Send(const PeerConnection& connection, const OutboxProgress& progress = nullptr) const;

 private:
  std::string folder_;
};

}  // namespace tavrix_tool
