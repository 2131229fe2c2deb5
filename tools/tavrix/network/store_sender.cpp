#include "store_sender.h"

// osconfig.h must precede every other DCMTK header.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scu.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "association.h"
#include "system/native_paths.h"

namespace tavrix_tool {

namespace {

const char* const kRole = "the PACS";
const char* const kStationTitle = "this station's";
// What the station's own images are; proposed whatever is sent.
const char* const kStationClasses[] = {UID_DigitalXRayImageStorageForPresentation,
                                       UID_DigitalXRayImageStorageForProcessing};
// Presentation context IDs are the odd numbers 1..255.
constexpr size_t kMaxPresentationContexts = 128;

struct Storable {
  std::string reason;  // "" when it can be sent
  std::string sopClass, sopInstance, transferSyntax;
};

// The file's bytes, read by its UTF-8 name: DCMTK opens files by narrow
// name, which Windows reads in the ANSI code page. "" or why not.
std::string ReadBytes(const std::string& path, std::vector<char>& bytes) {
  std::FILE* in = OpenFile(path, "rb");
  if (in == nullptr) return std::strerror(errno);
  std::error_code unknownSize;
  const std::uintmax_t size = std::filesystem::file_size(FsPath(path), unknownSize);
  if (!unknownSize) bytes.reserve(size_t(size));
  char chunk[1 << 16];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;) bytes.insert(bytes.end(), chunk, chunk + got);
  const std::string problem = std::ferror(in) ? std::strerror(errno) : "";
  std::fclose(in);
  return problem;
}

// Parses the whole file, pixel data too, so that a truncated file shows here
// and not halfway through its sending. Only DICOM files (the preamble, then
// "DICM") are taken: read from memory, other bytes could claim elements of
// gigabytes, which DCMTK would try to allocate.
std::string Parse(const std::vector<char>& bytes, DcmFileFormat& file) {
  constexpr size_t kPreambleBytes = 128;
  constexpr char kPrefix[] = {'D', 'I', 'C', 'M'};
  if (bytes.size() < kPreambleBytes + sizeof kPrefix ||
      std::memcmp(bytes.data() + kPreambleBytes, kPrefix, sizeof kPrefix) != 0)
    return "no DICOM file header (\"DICM\" after the 128-byte preamble)";
  DcmInputBufferStream stream;
  stream.setBuffer(bytes.data(), offile_off_t(bytes.size()));
  stream.setEos();
  file.transferInit();
  const OFCondition status = file.read(stream, EXS_Unknown, EGL_noChange, DCM_MaxReadLength);
  const bool whole = file.transferState() == ERW_ready;
  file.transferEnd();
  if (status.bad()) return status.text();
  return whole ? "" : "the file ends within an element";
}

Storable Inspect(const std::string& path, DcmFileFormat& file) {
  Storable storable;
  std::vector<char> bytes;
  std::string problem = ReadBytes(path, bytes);
  if (problem.empty()) problem = Parse(bytes, file);
  if (!problem.empty()) {
    storable.reason = "not a readable DICOM file: " + problem;
    return storable;
  }
  DcmDataset* data = file.getDataset();
  OFString sopClass, sopInstance;
  data->findAndGetOFString(DCM_SOPClassUID, sopClass);
  data->findAndGetOFString(DCM_SOPInstanceUID, sopInstance);
  if (sopClass.empty() || sopInstance.empty()) {
    storable.reason = "the file names no SOP class or no SOP instance";
    return storable;
  }
  storable.sopClass = sopClass.c_str();
  storable.sopInstance = sopInstance.c_str();
  storable.transferSyntax = DcmXfer(data->getOriginalXfer()).getXferID();
  return storable;
}

Storable Inspect(const std::string& path) {
  DcmFileFormat file;
  return Inspect(path, file);
}

// For each SOP class, explicit then implicit little endian, and in a context
// of its own each other transfer syntax a file of that class is in.
std::map<std::string, std::set<std::string>> ProposedContexts(const std::vector<Storable>& storables) {
  std::map<std::string, std::set<std::string>> otherSyntaxes;
  for (const char* sopClass : kStationClasses) otherSyntaxes[sopClass];
  for (const Storable& storable : storables) {
    if (!storable.reason.empty()) continue;
    std::set<std::string>& others = otherSyntaxes[storable.sopClass];
    if (storable.transferSyntax != UID_LittleEndianExplicitTransferSyntax &&
        storable.transferSyntax != UID_LittleEndianImplicitTransferSyntax) {
      others.insert(storable.transferSyntax);
    }
  }
  return otherSyntaxes;
}

size_t AddContexts(DcmSCU& scu, const std::map<std::string, std::set<std::string>>& contexts) {
  size_t count = 0;
  for (const auto& [sopClass, others] : contexts) {
    OFList<OFString> uncompressed;
    uncompressed.push_back(UID_LittleEndianExplicitTransferSyntax);
    uncompressed.push_back(UID_LittleEndianImplicitTransferSyntax);
    scu.addPresentationContext(sopClass.c_str(), uncompressed);
    ++count;
    for (const std::string& syntax : others) {
      OFList<OFString> own;
      own.push_back(syntax.c_str());
      scu.addPresentationContext(sopClass.c_str(), own);
      ++count;
    }
  }
  return count;
}

StoreResult Unsent(StoreOutcome outcome, const std::string& detail) {
  StoreResult result;
  result.outcome = outcome;
  result.detail = detail;
  return result;
}

// Sends one inspected file on the open association.
StoreResult StoreOne(DcmSCU& scu, const PeerConnection& connection, const std::string& path,
                     const Storable& storable) {
  DcmFileFormat file;
  const Storable now = Inspect(path, file);
  if (!now.reason.empty()) return Unsent(StoreOutcome::kUnreadable, now.reason);
  // The file's own transfer syntax when accepted, else explicit, else implicit
  // VR little endian, into which the data set is converted on the way.
  const T_ASC_PresentationContextID context =
      scu.findAnyPresentationContextID(storable.sopClass.c_str(), storable.transferSyntax.c_str());
  if (context == 0) {
    const char* name = dcmFindNameOfUID(storable.sopClass.c_str(), storable.sopClass.c_str());
    return Unsent(StoreOutcome::kRefused, std::string(kRole) + " takes no " + name + " objects");
  }
  Uint16 status = 0;
  const OFCondition sent = scu.sendSTORERequest(context, "", file.getDataset(), status);
  if (sent.bad()) return Unsent(StoreOutcome::kNotSent, DescribeNetworkFailure(sent, connection, kRole));
  StoreResult result;
  result.status = status;
  if (status == STATUS_Success) {
    result.outcome = StoreOutcome::kStored;
  } else if (DICOM_WARNING_STATUS(status)) {
    result.outcome = StoreOutcome::kStored;
    result.detail = "stored with the warning " + StoreStatusText(status);
  } else {
    result.outcome = StoreOutcome::kRefused;
    result.detail = std::string(kRole) + " answered " + StoreStatusText(status);
  }
  return result;
}

}  // namespace

std::string CheckStorableFile(const std::string& path, std::string* sopInstanceUid) {
  const Storable storable = Inspect(path);
  if (sopInstanceUid != nullptr) *sopInstanceUid = storable.sopInstance;
  return storable.reason;
}

std::string StoreStatusText(uint16_t status) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", unsigned(status));
  return std::string(hex) + " (" + DU_cstoreStatusString(status) + ")";
}

std::vector<StoreResult> StoreFiles(const PeerConnection& connection, const std::vector<std::string>& files,
                                    const StoreProgress& progress) {
  std::vector<Storable> storables;
  for (const std::string& path : files) storables.push_back(Inspect(path));
  std::vector<StoreResult> results(files.size());
  auto report = [&](size_t index, StoreResult result) {
    results[index] = std::move(result);
    if (progress) progress(index, results[index]);
  };

  // Why nothing more can be sent; "" while the association is open.
  std::string stopped = CheckAeTitle(connection.callingAeTitle, kStationTitle);
  DcmSCU scu;
  if (stopped.empty()) {
    ConfigureAssociation(scu, connection);
    scu.setDatasetConversionMode(OFTrue);
    if (AddContexts(scu, ProposedContexts(storables)) > kMaxPresentationContexts) {
      stopped = "more kinds of object than one association can carry";
    }
  }
  bool anyToSend = false;
  for (const Storable& storable : storables) anyToSend = anyToSend || storable.reason.empty();
  if (stopped.empty() && anyToSend) {
    OFCondition status = scu.initNetwork();
    if (status.good()) status = scu.negotiateAssociation();
    if (status.bad()) stopped = DescribeNetworkFailure(status, connection, kRole);
  }

  for (size_t i = 0; i < files.size(); ++i) {
    if (!storables[i].reason.empty()) {
      report(i, Unsent(StoreOutcome::kUnreadable, storables[i].reason));
    } else if (!stopped.empty()) {
      report(i, Unsent(StoreOutcome::kNotSent, stopped));
    } else {
      report(i, StoreOne(scu, connection, files[i], storables[i]));
      // After a broken exchange the association's state is unknown.
      if (results[i].outcome == StoreOutcome::kNotSent) {
        stopped = results[i].detail;
        if (scu.isConnected()) scu.abortAssociation();
      }
    }
  }
  if (scu.isConnected()) scu.releaseAssociation();
  return results;
}

}  // namespace tavrix_tool
