// Writes DIR/corrected.dcm and DIR/enhanced.dcm from a synthetic detector
// image, for checking with an outside validator.
#include <cstdio>
#include <string>
#include <vector>

#include "dicom/dicom_file.h"
#include "dicom/display_window.h"
#include "dicom/uid_scheme.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_dicom_samples DIR\n");
    return 2;
  }
  const int32_t size = 3072, border = 40;
  // A ramp across, a disc in the middle, the masked border and the data-less
  // columns as the detector leaves them.
  std::vector<uint16_t> image(size_t(size) * size);
  for (int32_t r = 0; r < size; ++r) {
    for (int32_t c = 0; c < size; ++c) {
      uint16_t v = uint16_t(2000 + c * 4);
      const int32_t dr = r - size / 2, dc = c - size / 3;
      if (dr * dr + dc * dc < 500 * 500) v = uint16_t(v / 3);
      if (c >= 1280 && c < 1792) v = 0;
      if (r < border || c < border || r >= size - border || c >= size - border) v = 16383;
      image[size_t(r) * size + c] = v;
    }
  }
  // Every field the station records, as a worklist would give them.
  tavrix_tool::DicomImage info;
  tavrix_tool::DicomPatientStudy& exam = info.exam;
  exam = {"Phantom^Ramp", "QA-0001", "19700101", "O", tavrix_tool::NewUid(""), "QA1", "ACC-1", "Synthetic ramp",
          "Physicist^Quality", "20240301115900", "CHEST", "PA", "Operator^Station", "RP-1", "Ramp phantom", "SPS-1",
          "Ramp, PA"};
  info.equipment = {"Tavrix", "1417 PCI", "ROOM 1", "SN-0001", "PANEL-A", "1.0.0"};
  info.seriesNumber = 1;
  info.instanceNumber = 1;
  info.detectorTemperature = 29;
  info.acquisitionDateTimeUtc = "20240301120000";
  info.derivationDescription = "synthetic image";
  const std::string dir = argv[1];
  std::string previous;
  for (bool presentation : {false, true}) {
    info.forPresentation = presentation;
    info.seriesInstanceUid = tavrix_tool::NewUid("");
    info.sopInstanceUid = tavrix_tool::NewUid("");
    if (presentation) {
      info.window = tavrix_tool::DataAreaWindow(image.data(), size, size);
      info.seriesNumber = 2;
      info.sourceSopClassUid = tavrix_tool::DicomSopClassUid(tavrix_tool::DicomImage{});
      info.sourceSopInstanceUid = previous;
    }
    const std::string path = dir + (presentation ? "/enhanced.dcm" : "/corrected.dcm");
    const std::string reason = tavrix_tool::WriteDicom(path, image.data(), size, size, info);
    if (!reason.empty()) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
    previous = info.sopInstanceUid;
  }
  return 0;
}
