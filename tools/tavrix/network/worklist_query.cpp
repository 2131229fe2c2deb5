#include "worklist_query.h"

// osconfig.h must precede every other DCMTK header.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcvrcs.h>
#include <dcmtk/dcmdata/dcvrda.h>
#include <dcmtk/dcmdata/dcvrlo.h>
#include <dcmtk/dcmdata/dcvrsh.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scu.h>

#include <cstdio>
#include <memory>

#include "association.h"

namespace tavrix_tool {

namespace {

const char* const kRole = "the worklist";
// The longest values of the value representations SH, LO and CS.
constexpr size_t kShortStringLength = 16;
constexpr size_t kLongStringLength = 64;
constexpr size_t kCodeStringLength = 16;

// Attributes of the request at its top level and inside its Scheduled
// Procedure Step item, each with where its answer goes.
struct Key {
  DcmTagKey tag;
  std::string ScheduledStep::*field;
};
const Key kTopKeys[] = {
    {DCM_PatientName, &ScheduledStep::patientName},
    {DCM_PatientID, &ScheduledStep::patientId},
    {DCM_PatientBirthDate, &ScheduledStep::patientBirthDate},
    {DCM_PatientSex, &ScheduledStep::patientSex},
    {DCM_AccessionNumber, &ScheduledStep::accessionNumber},
    {DCM_StudyInstanceUID, &ScheduledStep::studyInstanceUid},
    {DCM_ReferringPhysicianName, &ScheduledStep::referringPhysicianName},
    {DCM_RequestedProcedureID, &ScheduledStep::requestedProcedureId},
    {DCM_RequestedProcedureDescription, &ScheduledStep::requestedProcedureDescription},
};
const Key kStepKeys[] = {
    {DCM_ScheduledProcedureStepID, &ScheduledStep::stepId},
    {DCM_ScheduledProcedureStepDescription, &ScheduledStep::stepDescription},
    {DCM_ScheduledProcedureStepStartDate, &ScheduledStep::stepStartDate},
    {DCM_ScheduledProcedureStepStartTime, &ScheduledStep::stepStartTime},
    {DCM_ScheduledStationAETitle, &ScheduledStep::stationAeTitle},
    {DCM_Modality, &ScheduledStep::modality},
};

// DCMTK checks a date's form; the calendar is checked here.
bool IsCalendarDate(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string CheckDate(const std::string& date) {
  if (date.size() != 8 || date.find_first_not_of("0123456789") != std::string::npos ||
      DcmDate::checkStringValue(date.c_str(), "1").bad() ||
      !IsCalendarDate(std::stoi(date.substr(0, 4)), std::stoi(date.substr(4, 2)), std::stoi(date.substr(6, 2)))) {
    return "worklist date \"" + date + "\" is not a date YYYYMMDD";
  }
  return "";
}

// The query: every answer field requested (empty), the filter's fields set.
void BuildQuery(const WorklistFilter& filter, DcmDataset& query) {
  for (const Key& key : kTopKeys) query.insertEmptyElement(key.tag);
  query.putAndInsertString(DCM_AccessionNumber, filter.accessionNumber.c_str());
  query.putAndInsertString(DCM_PatientID, filter.patientId.c_str());
  DcmItem* step = nullptr;
  query.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step);
  for (const Key& key : kStepKeys) step->insertEmptyElement(key.tag);
  step->putAndInsertString(DCM_ScheduledProcedureStepStartDate, filter.date.c_str());
  step->putAndInsertString(DCM_ScheduledStationAETitle, filter.stationAeTitle.c_str());
  step->putAndInsertString(DCM_Modality, filter.modality.c_str());
}

std::string Text(DcmItem& item, const DcmTagKey& tag) {
  OFString value;
  if (item.findAndGetOFStringArray(tag, value).bad()) return "";
  return value.c_str();
}

// One answer may hold several steps of one requested procedure.
void AddSteps(DcmItem& answer, std::vector<ScheduledStep>& steps) {
  ScheduledStep common;
  for (const Key& key : kTopKeys) common.*key.field = Text(answer, key.tag);
  DcmSequenceOfItems* sequence = nullptr;
  if (answer.findAndGetSequence(DCM_ScheduledProcedureStepSequence, sequence).bad() || sequence == nullptr ||
      sequence->card() == 0) {
    steps.push_back(common);
    return;
  }
  for (unsigned long i = 0; i < sequence->card(); ++i) {
    ScheduledStep step = common;
    for (const Key& key : kStepKeys) step.*key.field = Text(*sequence->getItem(i), key.tag);
    steps.push_back(step);
  }
}

std::string StatusText(Uint16 status) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", unsigned(status));
  return std::string(hex) + " (" + DU_cfindStatusString(status) + ")";
}

// Collects the answers; "" or why they cannot be used.
std::string ReadAnswers(OFList<QRResponse*>& responses, std::vector<ScheduledStep>& steps) {
  for (QRResponse* response : responses) {
    if (DICOM_PENDING_STATUS(response->m_status) && response->m_dataset != nullptr) {
      // The station writes UTF-8; the worklist may answer in another set.
      const OFCondition converted = response->m_dataset->convertToUTF8();
      if (converted.bad()) return std::string("an answer's characters cannot be read: ") + converted.text();
      AddSteps(*response->m_dataset, steps);
    } else if (!DICOM_PENDING_STATUS(response->m_status) && response->m_status != STATUS_Success) {
      return "the query failed with status " + StatusText(response->m_status);
    }
  }
  if (responses.empty() || DICOM_PENDING_STATUS(responses.back()->m_status)) return "the answer ended early";
  return "";
}

}  // namespace

std::string CheckWorklistFilter(const WorklistFilter& filter) {
  if (!filter.date.empty()) {
    const std::string reason = CheckDate(filter.date);
    if (!reason.empty()) return reason;
  }
  if (!filter.stationAeTitle.empty()) {
    const std::string reason = CheckAeTitle(filter.stationAeTitle, "the worklist station's");
    if (!reason.empty()) return reason;
  }
  // DCMTK's checks look at the characters, not at the length.
  struct Check {
    const char* what;
    const std::string& value;
    size_t maxLength;
    OFCondition status;
  };
  const Check checks[] = {
      {"accession number", filter.accessionNumber, kShortStringLength,
       DcmShortString::checkStringValue(filter.accessionNumber.c_str(), "1")},
      {"patient ID", filter.patientId, kLongStringLength, DcmLongString::checkStringValue(filter.patientId.c_str(), "1")},
      {"modality", filter.modality, kCodeStringLength, DcmCodeString::checkStringValue(filter.modality.c_str(), "1")},
  };
  for (const Check& check : checks) {
    // A wildcard would match what the user did not ask for.
    if (check.status.bad() || check.value.size() > check.maxLength ||
        check.value.find_first_of("*?\\") != std::string::npos) {
      return std::string("worklist ") + check.what + " \"" + check.value + "\" cannot be asked for";
    }
  }
  return "";
}

WorklistAnswer QueryWorklist(const PeerConnection& connection, const WorklistFilter& filter) {
  WorklistAnswer answer;
  answer.error = CheckWorklistFilter(filter);
  if (answer.error.empty()) answer.error = CheckAeTitle(connection.callingAeTitle, "this station's");
  if (!answer.error.empty()) return answer;

  DcmSCU scu;
  ConfigureAssociation(scu, connection);
  OFList<OFString> syntaxes;
  syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
  syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
  scu.addPresentationContext(UID_FINDModalityWorklistInformationModel, syntaxes);
  OFCondition status = scu.initNetwork();
  if (status.good()) status = scu.negotiateAssociation();
  if (status.bad()) {
    answer.error = DescribeNetworkFailure(status, connection, kRole);
    return answer;
  }

  DcmDataset query;
  BuildQuery(filter, query);
  OFList<QRResponse*> responses;
  status = scu.sendFINDRequest(scu.findPresentationContextID(UID_FINDModalityWorklistInformationModel, ""), &query,
                               &responses);
  if (status.bad()) {
    answer.error = DescribeNetworkFailure(status, connection, kRole);
  } else {
    answer.error = ReadAnswers(responses, answer.steps);
    if (!answer.error.empty()) answer.error = std::string(kRole) + " " + FormatNetworkAddress(connection.peer) + ": " + answer.error;
  }
  for (QRResponse* response : responses) delete response;
  if (!answer.error.empty()) answer.steps.clear();
  if (scu.isConnected()) {
    if (status.good()) {
      scu.releaseAssociation();
    } else {
      scu.abortAssociation();
    }
  }
  return answer;
}

}  // namespace tavrix_tool
