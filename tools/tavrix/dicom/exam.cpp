#include "dicom/exam.h"

#include "dicom/coded_terms.h"

namespace tavrix_tool {

namespace {

// The sexes DICOM knows.
const std::vector<CodedTerm> kSexes = {{"M", "", ""}, {"F", "", ""}, {"O", "", ""}};

std::string CheckTerm(const std::string& field, const std::string& value, const std::vector<CodedTerm>& terms) {
  if (value.empty() || FindTerm(terms, value) != nullptr) return "";
  return field + ": \"" + value + "\" is none of " + TermList(terms);
}

std::string FieldName(const ExamField& field, bool fromWorklist) {
  return fromWorklist ? std::string("the worklist's ") + field.keyword : std::string(field.option);
}

const ExamField& FieldOf(std::string DicomPatientStudy::*member) {
  for (const ExamField& field : ExamFields())
    if (field.member == member) return field;
  return ExamFields().front();
}

}  // namespace

const std::vector<ExamField>& ExamFields() {
  static const std::vector<ExamField> fields = {
      {"--patient-name", "PatientName", Vr::kPN, &DicomPatientStudy::patientName},
      {"--patient-id", "PatientID", Vr::kLO, &DicomPatientStudy::patientId},
      {"--birth-date", "PatientBirthDate", Vr::kDA, &DicomPatientStudy::patientBirthDate},
      {"--sex", "PatientSex", Vr::kCS, &DicomPatientStudy::patientSex},
      {"--accession", "AccessionNumber", Vr::kSH, &DicomPatientStudy::accessionNumber},
      {"--study-id", "StudyID", Vr::kSH, &DicomPatientStudy::studyId},
      {"--study-description", "StudyDescription", Vr::kLO, &DicomPatientStudy::studyDescription},
      {"--referring-physician", "ReferringPhysicianName", Vr::kPN, &DicomPatientStudy::referringPhysicianName},
      {"--body-part", "BodyPartExamined", Vr::kCS, &DicomPatientStudy::bodyPartExamined},
      {"--view-position", "ViewPosition", Vr::kCS, &DicomPatientStudy::viewPosition},
      {"--operator", "OperatorsName", Vr::kPN, &DicomPatientStudy::operatorName},
  };
  return fields;
}

std::string CheckExam(const DicomPatientStudy& exam, bool fromWorklist) {
  // The fields with terms first: "is none of M, F, O" says more than the
  // code string's characters.
  const ExamField& sex = FieldOf(&DicomPatientStudy::patientSex);
  const ExamField& view = FieldOf(&DicomPatientStudy::viewPosition);
  const ExamField& bodyPart = FieldOf(&DicomPatientStudy::bodyPartExamined);
  std::string problem = CheckTerm(FieldName(sex, fromWorklist), exam.patientSex, kSexes);
  if (problem.empty()) problem = CheckTerm(FieldName(view, fromWorklist), exam.viewPosition, ViewPositionTerms());
  if (problem.empty())
    problem = CheckTerm(FieldName(bodyPart, fromWorklist), exam.bodyPartExamined, BodyPartTerms());
  for (const ExamField& field : ExamFields()) {
    if (!problem.empty()) break;
    problem = CheckValue(FieldName(field, fromWorklist), field.vr, exam.*field.member);
  }
  if (problem.empty() && fromWorklist) problem = CheckRequestValues(exam, "the worklist's ");
  return problem;
}

DicomPatientStudy ExamFromWorklist(const ScheduledStep& step) {
  DicomPatientStudy exam;
  exam.patientName = step.patientName;
  exam.patientId = step.patientId;
  exam.patientBirthDate = step.patientBirthDate;
  exam.patientSex = step.patientSex;
  exam.accessionNumber = step.accessionNumber;
  exam.studyInstanceUid = step.studyInstanceUid;
  exam.referringPhysicianName = step.referringPhysicianName;
  // The requested procedure is the study the department ordered.
  exam.studyId = step.requestedProcedureId;
  exam.studyDescription = step.requestedProcedureDescription;
  exam.requestedProcedureId = step.requestedProcedureId;
  exam.requestedProcedureDescription = step.requestedProcedureDescription;
  exam.scheduledStepId = step.stepId;
  exam.scheduledStepDescription = step.stepDescription;
  return exam;
}

}  // namespace tavrix_tool
