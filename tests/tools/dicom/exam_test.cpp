#include "dicom/exam.h"

#include <gtest/gtest.h>

namespace tavrix_tool {
namespace {

TEST(ExamTest, NamesTheOptionOrTheWorklistsAttributeWithTheRule) {
  DicomPatientStudy exam;
  exam.patientSex = "F";
  exam.bodyPartExamined = "CHEST";
  exam.viewPosition = "LL";
  EXPECT_EQ(CheckExam(exam, false), "");

  struct Case {
    std::string DicomPatientStudy::*member;
    std::string value;
    const char* asOption;
    const char* fromWorklist;
  };
  const Case cases[] = {
      {&DicomPatientStudy::patientName, std::string(80, 'A'), "--patient-name: a name group of 80",
       "the worklist's PatientName: a name group of 80"},
      {&DicomPatientStudy::patientSex, "female", "--sex: \"female\" is none of M, F, O",
       "the worklist's PatientSex: \"female\" is none of"},
      {&DicomPatientStudy::bodyPartExamined, "ELBOW", "--body-part: \"ELBOW\" is none of CHEST",
       "the worklist's BodyPartExamined"},
      {&DicomPatientStudy::viewPosition, "LAT", "--view-position: \"LAT\" is none of AP, PA",
       "the worklist's ViewPosition"},
      {&DicomPatientStudy::accessionNumber, "A\\B", "--accession: a backslash", "the worklist's AccessionNumber"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    DicomPatientStudy bad = exam;
    bad.*c.member = c.value;
    EXPECT_EQ(CheckExam(bad, false).rfind(c.asOption, 0), 0u) << CheckExam(bad, false);
    EXPECT_EQ(CheckExam(bad, true).rfind(c.fromWorklist, 0), 0u) << CheckExam(bad, true);
  }
  DicomPatientStudy badUid = exam;
  badUid.studyInstanceUid = "1.2.03";
  EXPECT_EQ(CheckExam(badUid, true).rfind("the worklist's StudyInstanceUID", 0), 0u);
}

}  // namespace
}  // namespace tavrix_tool
