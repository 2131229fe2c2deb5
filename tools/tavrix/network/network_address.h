// Where a DICOM peer listens, written "AE@HOST:PORT" on the command line and
// in the station's settings, and how long the station waits for it.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix_tool {

struct NetworkAddress {
  std::string aeTitle;  // the peer's own (called) AE title
  std::string host;     // a host name or a dotted IPv4 address
  uint16_t port = 0;
};

// "" when `title` can be an AE title: 1 to 16 printable ASCII characters, no
// backslash, no space at either end (where DICOM would drop it); otherwise
// the rule it breaks, beginning with `whose` ("the", "this station's").
std::string CheckAeTitle(const std::string& title, const std::string& whose = "the");

// Parses "AE@HOST:PORT" into `address`. Returns "" or the reason, naming the
// part that is wrong; `address` is unchanged then.
std::string ParseNetworkAddress(const std::string& text, NetworkAddress& address);

// "AE@HOST:PORT", as it is parsed.
std::string FormatNetworkAddress(const NetworkAddress& address);

// Each in seconds, at least 1 (less counts as 1). A peer that never answers
// costs at most the sum.
struct NetworkTimeouts {
  int connect = 10;  // until the peer's port accepts the connection
  int acse = 30;     // for each step of opening and closing the association
  int dimse = 30;    // for each answer to a request (a stored file, a query result)
};

// One association's two ends: the peer, and the AE title this station calls from.
struct PeerConnection {
  NetworkAddress peer;
  std::string callingAeTitle;
  NetworkTimeouts timeouts;
};

}  // namespace tavrix_tool
