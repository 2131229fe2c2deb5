// Whether a text can be stored as a DICOM attribute of a given value
// representation (VR) as it is, so that it reads back the same: its length,
// its characters and its form. Texts are UTF-8; one that is not plain ASCII
// makes the file declare the Specific Character Set ISO_IR 192.
#pragma once

#include <cstddef>
#include <string>

namespace tavrix_tool {

enum class Vr {
  kAE,  // application entity title: 16, no backslash
  kCS,  // code string: 16, upper-case letters, digits, space, underscore
  kDA,  // date: YYYYMMDD, a day of the calendar
  kLO,  // long string: 64
  kLT,  // long text: 10240, backslash allowed
  kPN,  // person name: up to 3 groups (=) of up to 5 components (^), 64 a group
  kSH,  // short string: 16
  kST,  // short text: 1024, backslash allowed
  kUI,  // unique identifier: 64, digits and dots, no leading zero in a component
};

// "PN", "LO", ...
const char* VrName(Vr vr);

// The most bytes a value of `vr` may take.
size_t VrMaxLength(Vr vr);

// "" when `value` (one value; empty allowed) fits `vr`; otherwise
// "FIELD: RULE", e.g. "--patient-id: 200 characters, LO allows 64".
std::string CheckValue(const std::string& field, Vr vr, const std::string& value);

// True when `text` holds a byte beyond ASCII (it needs ISO_IR 192).
bool NeedsUtf8(const std::string& text);

// "" when `text` is well-formed UTF-8 (no overlong forms, no surrogates);
// otherwise where it is not.
std::string CheckUtf8(const std::string& text);

// `text` when it fits `maxBytes`; otherwise its beginning and its end with
// "..." between, cut only between UTF-8 characters, at most `maxBytes`.
std::string ShortenMiddle(const std::string& text, size_t maxBytes);

}  // namespace tavrix_tool
