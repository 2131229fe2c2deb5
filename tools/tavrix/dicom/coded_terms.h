// The body parts and view positions the station records, each with the
// SNOMED CT concept that DICOM codes it by (Anatomic Region Sequence, View
// Code Sequence), so that a viewer or a hanging protocol need not parse text.
#pragma once

#include <string>
#include <vector>

namespace tavrix_tool {

struct CodedTerm {
  const char* term;     // the code string: "CHEST", "PA"
  const char* code;     // the SNOMED CT concept
  const char* meaning;  // its meaning as DICOM writes it
};

constexpr const char* kSnomedScheme = "SCT";

const std::vector<CodedTerm>& BodyPartTerms();
const std::vector<CodedTerm>& ViewPositionTerms();

// The entry of `terms` for `term`, or null.
const CodedTerm* FindTerm(const std::vector<CodedTerm>& terms, const std::string& term);

// "CHEST, ABDOMEN, ..." for a message.
std::string TermList(const std::vector<CodedTerm>& terms);

}  // namespace tavrix_tool
