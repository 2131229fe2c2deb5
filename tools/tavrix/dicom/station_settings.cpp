#include "dicom/station_settings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <system_error>
#include <vector>

#include "files/config_file.h"
#include "system/native_paths.h"
#include "dicom/uid_scheme.h"
#include "dicom/value_checks.h"

namespace tavrix_tool {

namespace {

using Check = std::function<std::string(const std::string&)>;

Check TextCheck(Vr vr) {
  return [vr](const std::string& value) {
    const std::string problem = CheckValue("value", vr, value);
    return problem.empty() ? "" : problem.substr(std::string("value: ").size());
  };
}

// A finite decimal number, all of the value.
bool ParseNumber(const std::string& text, double& number) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  number = std::strtod(text.c_str(), &end);
  return errno == 0 && end == text.c_str() + text.size() && std::isfinite(number);
}

Check NumberCheck(bool positive) {
  return [positive](const std::string& value) -> std::string {
    double number = 0;
    if (!ParseNumber(value, number)) return "\"" + value + "\" is no number";
    if (positive && !(number > 0)) return "must be above 0";
    return "";
  };
}

Check AddressCheck() {
  return [](const std::string& value) {
    NetworkAddress address;
    return ParseNetworkAddress(value, address);
  };
}

std::string PanelKey(int panel, const char* name) { return "panel" + std::to_string(panel) + "." + name; }

std::vector<ConfigKey> Keys() {
  std::vector<ConfigKey> keys = {
      {"uid_root", [](const std::string& value) { return CheckUidRoot("the root", value); }},
      {"ae_title", [](const std::string& value) { return CheckAeTitle(value, "this station's"); }},
      {"pacs", AddressCheck()},
      {"worklist", AddressCheck()},
      {"outbox", [](const std::string& value) { return value.empty() ? "empty" : ""; }},
      {"station_name", TextCheck(Vr::kSH)},
      {"manufacturer", TextCheck(Vr::kLO)},
      {"model", TextCheck(Vr::kLO)},
      {"target_exposure_index", NumberCheck(true)},
  };
  for (int panel = 0; panel < kPanels; ++panel) {
    keys.push_back({PanelKey(panel, "detector_id"), TextCheck(Vr::kSH)});
    keys.push_back({PanelKey(panel, "serial_number"), TextCheck(Vr::kLO)});
    keys.push_back({PanelKey(panel, "response_gain"), NumberCheck(true)});
    keys.push_back({PanelKey(panel, "response_offset"), NumberCheck(false)});
  }
  return keys;
}

double Number(const std::string& text) {
  double number = 0;
  ParseNumber(text, number);
  return number;
}

// The two halves of a panel's response come together; "" or the problem.
std::string ReadResponse(const std::map<std::string, ConfigValue>& values, int panel, PanelSettings& settings) {
  const auto gain = values.find(PanelKey(panel, "response_gain"));
  const auto offset = values.find(PanelKey(panel, "response_offset"));
  if ((gain == values.end()) != (offset == values.end())) {
    const auto& given = gain != values.end() ? *gain : *offset;
    return std::to_string(given.second.line) + ": " + given.first + " needs " +
           PanelKey(panel, gain != values.end() ? "response_offset" : "response_gain") + " too";
  }
  if (gain != values.end()) settings.response = PanelResponse{Number(gain->second.value), Number(offset->second.value)};
  return "";
}

}  // namespace

std::string LoadStationSettings(const std::string& path, bool required, StationSettings& settings) {
  std::error_code error;
  if (!required && !std::filesystem::exists(FsPath(path), error)) return "";
  std::map<std::string, ConfigValue> values;
  const std::string problem = ReadConfigFile(path, Keys(), values);
  if (!problem.empty()) return problem;
  StationSettings read;
  read.path = path;
  const auto text = [&](const char* key, std::string& into) {
    const auto found = values.find(key);
    if (found != values.end()) into = found->second.value;
  };
  const auto address = [&](const char* key, std::optional<NetworkAddress>& into) {
    const auto found = values.find(key);
    if (found == values.end()) return;
    into.emplace();
    ParseNetworkAddress(found->second.value, *into);
  };
  text("uid_root", read.uidRoot);
  text("ae_title", read.aeTitle);
  address("pacs", read.pacs);
  address("worklist", read.worklist);
  text("outbox", read.outbox);
  text("station_name", read.stationName);
  text("manufacturer", read.manufacturer);
  text("model", read.modelName);
  const auto target = values.find("target_exposure_index");
  if (target != values.end()) read.targetExposureIndex = Number(target->second.value);
  for (int panel = 0; panel < kPanels; ++panel) {
    text(PanelKey(panel, "detector_id").c_str(), read.panels[panel].detectorId);
    text(PanelKey(panel, "serial_number").c_str(), read.panels[panel].deviceSerialNumber);
    const std::string responseProblem = ReadResponse(values, panel, read.panels[panel]);
    if (!responseProblem.empty()) return path + ":" + responseProblem;
  }
  settings = read;
  return "";
}

}  // namespace tavrix_tool
