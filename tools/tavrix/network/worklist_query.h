// The department's modality worklist: which exams are scheduled, asked by
// C-FIND on the Modality Worklist information model.
#pragma once

#include <string>
#include <vector>

#include "network_address.h"

namespace tavrix_tool {

// What to ask for; an empty field matches everything.
struct WorklistFilter {
  std::string date;            // scheduled start date, YYYYMMDD
  std::string stationAeTitle;  // the scheduled station's AE title
  std::string accessionNumber;
  std::string patientId;
  std::string modality;  // e.g. "DX"
};

// One scheduled procedure step, its texts in UTF-8 whatever character set
// the worklist answered in; a field the worklist left out is empty.
struct ScheduledStep {
  std::string patientName, patientId, patientBirthDate, patientSex;
  std::string accessionNumber, studyInstanceUid, referringPhysicianName;
  std::string requestedProcedureId, requestedProcedureDescription;
  std::string stepId, stepDescription, stepStartDate, stepStartTime, stationAeTitle, modality;
};

struct WorklistAnswer {
  std::string error;  // "" when the worklist answered; then `steps` is all it answered
  std::vector<ScheduledStep> steps;
};

// "" when every field of `filter` can be sent; otherwise the field and the rule.
std::string CheckWorklistFilter(const WorklistFilter& filter);

// Asks the worklist at `connection` for the steps matching `filter`. A
// worklist that cannot be reached, refuses, fails or does not answer in
// time gives an error and no steps; no match gives no steps and no error.
WorklistAnswer QueryWorklist(const PeerConnection& connection, const WorklistFilter& filter);

}  // namespace tavrix_tool
