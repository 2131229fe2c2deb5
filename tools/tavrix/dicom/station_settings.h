// The station configuration: one commented "key = value" file per station
// (files/config_file.h) that holds what would otherwise be repeated on every
// command line: the UID root, the station's AE title, the PACS and worklist,
// the outbox, and what the DICOM files say of the station and its panels.
// docs/station.md lists the keys.
#pragma once

#include <optional>
#include <string>

#include "dicom/dicom_file.h"
#include "network/network_address.h"

namespace tavrix_tool {

constexpr int kPanels = 2;

// The panel's response for the exposure index: signal = offset + gain x K.
struct PanelResponse {
  double countsPerUGy = 0;
  double offset = 0;
};

struct PanelSettings {
  std::string detectorId, deviceSerialNumber;
  std::optional<PanelResponse> response;
};

struct StationSettings {
  std::string path;  // the file read, "" when none was
  std::string uidRoot;  // "" for the 2.25. form
  std::string aeTitle = "TAVRIX";
  std::optional<NetworkAddress> pacs, worklist;
  std::string outbox;  // "" for the system's default place
  std::string stationName;
  std::string manufacturer = kManufacturer;
  std::string modelName = kModelName;
  PanelSettings panels[kPanels];
  std::optional<double> targetExposureIndex;
};

// Reads the configuration at `path` into `settings`. A missing file is an
// error when `required` (given by --config), else it leaves the defaults.
// Returns "" or "PATH:LINE: what is wrong".
std::string LoadStationSettings(const std::string& path, bool required, StationSettings& settings);

}  // namespace tavrix_tool
