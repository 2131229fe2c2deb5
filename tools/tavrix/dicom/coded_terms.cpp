#include "dicom/coded_terms.h"

namespace tavrix_tool {

const std::vector<CodedTerm>& BodyPartTerms() {
  static const std::vector<CodedTerm> terms = {
      {"CHEST", "43799004", "Chest"},
      {"ABDOMEN", "818981001", "Abdomen"},
      {"PELVIS", "816092008", "Pelvis"},
      {"SKULL", "89546000", "Skull"},
      {"CSPINE", "122494005", "Cervical spine"},
      {"TSPINE", "122495006", "Thoracic spine"},
      {"LSPINE", "122496007", "Lumbar spine"},
      {"SHOULDER", "16982005", "Shoulder"},
      {"HAND", "85562004", "Hand"},
      {"KNEE", "72696002", "Knee"},
      {"FOOT", "56459004", "Foot"},
  };
  return terms;
}

const std::vector<CodedTerm>& ViewPositionTerms() {
  static const std::vector<CodedTerm> terms = {
      {"AP", "399348003", "antero-posterior"}, {"PA", "399066004", "postero-anterior"},
      {"LL", "399173006", "left lateral"},     {"RL", "399198007", "right lateral"},
      {"LLO", "399184004", "left oblique"},    {"RLO", "399236003", "right oblique"},
  };
  return terms;
}

const CodedTerm* FindTerm(const std::vector<CodedTerm>& terms, const std::string& term) {
  for (const CodedTerm& entry : terms)
    if (term == entry.term) return &entry;
  return nullptr;
}

std::string TermList(const std::vector<CodedTerm>& terms) {
  std::string list;
  for (const CodedTerm& entry : terms) list += (list.empty() ? "" : ", ") + std::string(entry.term);
  return list;
}

}  // namespace tavrix_tool
