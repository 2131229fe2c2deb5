// What every association of the station shares: how DCMTK's user class is
// set up for a peer, and what the user is told when a peer cannot be used.
#pragma once

#include <string>

#include "network_address.h"

class DcmSCU;
class OFCondition;

namespace tavrix_tool {

// AE titles, peer address, timeouts and non-blocking waits, so that no call
// waits longer than its timeout. Also quiets DCMTK's own network log: the
// callers report each failure themselves, in one line.
void ConfigureAssociation(DcmSCU& scu, const PeerConnection& connection);

// Why an association with `connection.peer` could not be opened, or broke,
// for the user: "the PACS PACS@host:104 refused the connection", ...
// `role` names the peer ("the PACS", "the worklist").
std::string DescribeNetworkFailure(const OFCondition& condition, const PeerConnection& connection,
                                   const std::string& role);

}  // namespace tavrix_tool
