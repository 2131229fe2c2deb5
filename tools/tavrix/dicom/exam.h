// What the operator or the worklist says about an exam, checked before the
// detector is armed: every field against its value representation, the sex
// and the view position against their terms.
#pragma once

#include <string>
#include <vector>

#include "dicom/dicom_file.h"
#include "dicom/value_checks.h"
#include "network/worklist_query.h"

namespace tavrix_tool {

// One field the operator can give: its option, its DICOM keyword and VR.
struct ExamField {
  const char* option;   // "--patient-name"
  const char* keyword;  // "PatientName"
  Vr vr;
  std::string DicomPatientStudy::*member;
};

// The options of acquire, correct and enhance that describe the exam.
const std::vector<ExamField>& ExamFields();

// "" when `exam` can be recorded as it is; otherwise "FIELD: RULE", the
// field named by its option, or as "the worklist's KEYWORD" when
// `fromWorklist`.
std::string CheckExam(const DicomPatientStudy& exam, bool fromWorklist);

// The patient, study, request and scheduled step of a worklist item.
DicomPatientStudy ExamFromWorklist(const ScheduledStep& step);

}  // namespace tavrix_tool
