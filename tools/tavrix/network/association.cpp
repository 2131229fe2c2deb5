#include "association.h"

// osconfig.h must precede every other DCMTK header.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dimse.h>
#include <dcmtk/dcmnet/dul.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>
#include <dcmtk/ofstd/ofstd.h>

#include <algorithm>

namespace tavrix_tool {

namespace {

// Large enough that a detector image leaves in few PDUs; any peer may ask for less.
constexpr Uint32 kMaxReceivePdu = 65536;

std::string Seconds(int seconds) { return std::to_string(seconds) + " s"; }

// DCMTK nests the cause of a failure in further lines of its text.
std::string OneLine(const OFCondition& condition) {
  std::string text = condition.text();
  for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, "; ");
  return text;
}

// Some conditions are made on the spot, with the system's message in their
// text: compared by module and code.
bool Is(const OFCondition& condition, unsigned short code) {
  return condition.module() == OFM_dcmnet && condition.code() == code;
}

}  // namespace

void ConfigureAssociation(DcmSCU& scu, const PeerConnection& connection) {
  // Windows needs its sockets started once; elsewhere this does nothing.
  static const bool networkReady = (OFStandard::initializeNetwork(), true);
  (void)networkReady;
  OFLog::getLogger("dcmtk.dcmnet").setLogLevel(OFLogger::OFF_LOG_LEVEL);
  scu.setAETitle(connection.callingAeTitle.c_str());
  scu.setPeerAETitle(connection.peer.aeTitle.c_str());
  scu.setPeerHostName(connection.peer.host.c_str());
  scu.setPeerPort(connection.peer.port);
  scu.setMaxReceivePDULength(kMaxReceivePdu);
  // Zero or less would mean "wait for ever" to DCMTK.
  const NetworkTimeouts& timeouts = connection.timeouts;
  scu.setConnectionTimeout(std::max(timeouts.connect, 1));
  scu.setACSETimeout(Uint32(std::max(timeouts.acse, 1)));
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  scu.setDIMSETimeout(Uint32(std::max(timeouts.dimse, 1)));
}

std::string DescribeNetworkFailure(const OFCondition& condition, const PeerConnection& connection,
                                   const std::string& role) {
  const std::string peer = role + " " + FormatNetworkAddress(connection.peer);
  const NetworkTimeouts& timeouts = connection.timeouts;
  if (condition == DUL_ASSOCIATIONREJECTED) {
    return peer + " rejected the association (does it know the called AE title \"" + connection.peer.aeTitle +
           "\" and this station's AE title \"" + connection.callingAeTitle + "\"?)";
  }
  if (Is(condition, DULC_TCPINITERROR) || Is(condition, DULC_REQUESTASSOCIATIONFAILED)) {
    return peer + " cannot be reached (" + condition.text() + ")";
  }
  if (Is(condition, DULC_READTIMEOUT)) {
    return peer + " did not answer within " + Seconds(timeouts.acse);
  }
  if (condition == DIMSE_NODATAAVAILABLE) {
    return peer + " did not answer within " + Seconds(timeouts.dimse);
  }
  if (condition == DUL_PEERABORTEDASSOCIATION || condition == DUL_PEERREQUESTEDRELEASE ||
      Is(condition, DULC_NETWORKCLOSED) || Is(condition, DULC_TCPIOERROR)) {
    return peer + " ended the association";
  }
  if (condition == NET_EC_NoAcceptablePresentationContexts) {
    return peer + " accepts none of the kinds of object offered";
  }
  if (condition == DIMSE_SENDFAILED) return "the connection to " + peer + " broke while sending: " + OneLine(condition);
  if (condition == DIMSE_RECEIVEFAILED) {
    return "the connection to " + peer + " broke while waiting for its answer: " + OneLine(condition);
  }
  return peer + ": " + OneLine(condition);
}

}  // namespace tavrix_tool
