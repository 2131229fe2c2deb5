#include "dicom/value_checks.h"

#include <cstdint>
#include <vector>

namespace tavrix_tool {

namespace {

constexpr size_t kPersonNameGroups = 3;       // alphabetic, ideographic, phonetic
constexpr size_t kPersonNameComponents = 5;   // family, given, middle, prefix, suffix
constexpr size_t kPersonNameGroupLength = 64;
constexpr char kValueDelimiter = '\\';

struct VrRule {
  Vr vr;
  const char* name;
  size_t maxLength;
  bool backslashAllowed;  // only the texts, which hold one value
  bool textControls;      // CR, LF and FF allowed (paragraphs)
  bool asciiOnly;         // outside the character sets a file may declare
};

constexpr VrRule kRules[] = {
    {Vr::kAE, "AE", 16, false, false, true},    {Vr::kCS, "CS", 16, false, false, true},
    {Vr::kDA, "DA", 8, false, false, true},     {Vr::kLO, "LO", 64, false, false, false},
    {Vr::kLT, "LT", 10240, true, true, false},  {Vr::kPN, "PN", 64 * kPersonNameGroups + 2, false, false, false},
    {Vr::kSH, "SH", 16, false, false, false},   {Vr::kST, "ST", 1024, true, true, false},
    {Vr::kUI, "UI", 64, false, false, true},
};

const VrRule& RuleOf(Vr vr) {
  for (const VrRule& rule : kRules)
    if (rule.vr == vr) return rule;
  return kRules[0];
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  parts.push_back(text.substr(start));
  return parts;
}

// "80 characters" for ASCII, "80 bytes in UTF-8" otherwise.
std::string LengthText(const std::string& text) {
  return std::to_string(text.size()) + (NeedsUtf8(text) ? " bytes in UTF-8" : " characters");
}

// The length of the UTF-8 sequence starting with `lead`, 0 for a byte that
// cannot start one.
size_t SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Whether bytes [at, at + length) form one well-formed character.
bool WellFormedAt(const std::string& text, size_t at, size_t length) {
  if (length == 0 || at + length > text.size()) return false;
  const auto byte = [&](size_t i) { return uint8_t(text[at + i]); };
  for (size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return false;
  // Overlong forms, surrogates and code points beyond U+10FFFF.
  if (length == 3 && byte(0) == 0xE0 && byte(1) < 0xA0) return false;
  if (length == 3 && byte(0) == 0xED && byte(1) >= 0xA0) return false;
  if (length == 4 && byte(0) == 0xF0 && byte(1) < 0x90) return false;
  if (length == 4 && byte(0) == 0xF4 && byte(1) >= 0x90) return false;
  return true;
}

std::string CheckCharacters(const VrRule& rule, const std::string& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    const uint8_t c = uint8_t(value[i]);
    if (c == uint8_t(kValueDelimiter) && !rule.backslashAllowed)
      return "a backslash, which DICOM reads as the start of a second value";
    if (c >= 0x80 && rule.asciiOnly) return std::string("a character beyond ASCII, which ") + rule.name + " cannot hold";
    const bool paragraph = c == '\r' || c == '\n' || c == '\f';
    if ((c < 0x20 || c == 0x7F) && !(paragraph && rule.textControls))
      return "a control character (code " + std::to_string(c) + ") at byte " + std::to_string(i + 1);
  }
  return CheckUtf8(value);
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::string CheckDate(const std::string& value) {
  const std::string rule = "\"" + value + "\" is no date YYYYMMDD";
  if (value.size() != 8 || value.find_first_not_of("0123456789") != std::string::npos) return rule;
  const int year = std::stoi(value.substr(0, 4));
  const int month = std::stoi(value.substr(4, 2));
  const int day = std::stoi(value.substr(6, 2));
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year == 0 || month < 1 || month > 12) return rule;
  const int days = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  if (day < 1 || day > days) return rule + " (the month has " + std::to_string(days) + " days)";
  return "";
}

std::string CheckCodeString(const std::string& value) {
  for (char c : value)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '_'))
      return "\"" + value + "\" holds '" + std::string(1, c) +
             "'; a code string is upper-case letters, digits, space and underscore";
  return "";
}

std::string CheckUid(const std::string& value) {
  for (const std::string& component : Split(value, '.')) {
    if (component.empty()) return "\"" + value + "\" has an empty component; a UID is numbers joined by dots";
    if (component.find_first_not_of("0123456789") != std::string::npos)
      return "\"" + value + "\" holds other characters than digits and dots";
    if (component.size() > 1 && component[0] == '0')
      return "\"" + value + "\" has a component with a leading zero (" + component + ")";
  }
  return "";
}

std::string CheckPersonName(const std::string& value) {
  const std::vector<std::string> groups = Split(value, '=');
  if (groups.size() > kPersonNameGroups)
    return std::to_string(groups.size()) + " groups separated by '='; PN allows 3";
  for (const std::string& group : groups) {
    if (group.size() > kPersonNameGroupLength)
      return "a name group of " + LengthText(group) + "; PN allows 64 in each group";
    const size_t components = Split(group, '^').size();
    if (components > kPersonNameComponents)
      return std::to_string(components) + " components separated by '^'; PN allows 5 (family^given^middle^prefix^suffix)";
  }
  return "";
}

}  // namespace

const char* VrName(Vr vr) { return RuleOf(vr).name; }

size_t VrMaxLength(Vr vr) { return RuleOf(vr).maxLength; }

bool NeedsUtf8(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return true;
  return false;
}

std::string CheckUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(uint8_t(text[i]));
    if (!WellFormedAt(text, i, length)) return "invalid UTF-8 at byte " + std::to_string(i + 1);
    i += length;
  }
  return "";
}

std::string CheckValue(const std::string& field, Vr vr, const std::string& value) {
  const VrRule& rule = RuleOf(vr);
  std::string problem = CheckCharacters(rule, value);
  // A person name is measured per group, a date by its form.
  if (problem.empty() && vr != Vr::kPN && vr != Vr::kDA && value.size() > rule.maxLength)
    problem = LengthText(value) + ", " + rule.name + " allows " + std::to_string(rule.maxLength);
  if (problem.empty() && !value.empty()) {
    if (vr == Vr::kPN) problem = CheckPersonName(value);
    if (vr == Vr::kDA) problem = CheckDate(value);
    if (vr == Vr::kCS) problem = CheckCodeString(value);
    if (vr == Vr::kUI) problem = CheckUid(value);
    if (vr == Vr::kAE && value.find_first_not_of(' ') == std::string::npos) problem = "only spaces";
  }
  return problem.empty() ? "" : field + ": " + problem + " (" + rule.name + ")";
}

std::string ShortenMiddle(const std::string& text, size_t maxBytes) {
  static const std::string kEllipsis = "...";
  if (text.size() <= maxBytes) return text;
  if (maxBytes < kEllipsis.size()) return "";
  const size_t keep = maxBytes - kEllipsis.size();
  // Back off from a continuation byte so that no character is split.
  const auto isContinuation = [&](size_t i) { return (uint8_t(text[i]) & 0xC0) == 0x80; };
  size_t headEnd = (keep + 1) / 2;
  while (headEnd > 0 && isContinuation(headEnd)) --headEnd;
  size_t tailStart = text.size() - (keep - headEnd);
  while (tailStart < text.size() && isContinuation(tailStart)) ++tailStart;
  return text.substr(0, headEnd) + kEllipsis + text.substr(tailStart);
}

}  // namespace tavrix_tool
