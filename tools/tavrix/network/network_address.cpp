#include "network_address.h"

#include <cctype>
#include <vector>

namespace tavrix_tool {

namespace {

constexpr size_t kMaxAeTitleLength = 16;
constexpr size_t kMaxHostLength = 253;
constexpr size_t kMaxLabelLength = 63;
constexpr unsigned long kMaxPort = 65535;

bool IsDigits(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (!std::isdigit(c)) return false;
  }
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// Four decimal numbers 0..255 without leading zeros (which some resolvers
// read as octal).
bool IsDottedIpv4(const std::vector<std::string>& labels) {
  if (labels.size() != 4) return false;
  for (const std::string& label : labels) {
    if (!IsDigits(label) || label.size() > 3 || (label.size() > 1 && label[0] == '0') || std::stoul(label) > 255) {
      return false;
    }
  }
  return true;
}

// Letters, digits and inner hyphens, as host names are written.
bool IsHostLabel(const std::string& label) {
  if (label.empty() || label.size() > kMaxLabelLength || label.front() == '-' || label.back() == '-') return false;
  for (unsigned char c : label) {
    if (!std::isalnum(c) && c != '-') return false;
  }
  return true;
}

std::string CheckHost(const std::string& host) {
  if (host.empty()) return "the host is missing";
  if (host.front() == '[') return "IPv6 addresses are not supported; give a host name or an IPv4 address";
  if (host.size() > kMaxHostLength) return "the host name is longer than 253 characters";
  const std::vector<std::string> labels = Split(host, '.');
  if (IsDottedIpv4(labels)) return "";
  bool allNumeric = true;
  for (const std::string& label : labels) {
    if (!IsHostLabel(label)) return "\"" + host + "\" is neither a host name nor an IPv4 address";
    allNumeric = allNumeric && IsDigits(label);
  }
  // "10.1.1" or "300.1.1.1" would be read as some other address.
  if (allNumeric) return "\"" + host + "\" is not an IPv4 address (four numbers 0 to 255)";
  return "";
}

std::string CheckPort(const std::string& port) {
  if (!IsDigits(port) || port.size() > 5 || std::stoul(port) == 0 || std::stoul(port) > kMaxPort) {
    return "the port \"" + port + "\" is not a number from 1 to 65535";
  }
  return "";
}

}  // namespace

std::string CheckAeTitle(const std::string& title, const std::string& whose) {
  const std::string named = whose + " AE title \"" + title + "\"";
  if (title.empty()) return whose + " AE title is empty";
  if (title.size() > kMaxAeTitleLength) return named + " is longer than 16 characters";
  for (unsigned char c : title) {
    if (c < 0x20 || c > 0x7e || c == '\\') return named + " may hold only printable ASCII characters but a backslash";
  }
  if (title.front() == ' ' || title.back() == ' ') return named + " begins or ends with a space";
  return "";
}

std::string ParseNetworkAddress(const std::string& text, NetworkAddress& address) {
  // A host name holds no '@' and a port no ':', so the last of each separates.
  const size_t at = text.rfind('@');
  const size_t colon = text.rfind(':');
  if (at == std::string::npos || colon == std::string::npos || colon < at) {
    return "\"" + text + "\" is not of the form AE@HOST:PORT";
  }
  NetworkAddress parsed;
  parsed.aeTitle = text.substr(0, at);
  parsed.host = text.substr(at + 1, colon - at - 1);
  const std::string port = text.substr(colon + 1);
  std::string reason = CheckAeTitle(parsed.aeTitle);
  if (reason.empty()) reason = CheckHost(parsed.host);
  if (reason.empty()) reason = CheckPort(port);
  if (!reason.empty()) return "in \"" + text + "\": " + reason;
  parsed.port = uint16_t(std::stoul(port));
  address = parsed;
  return "";
}

std::string FormatNetworkAddress(const NetworkAddress& address) {
  return address.aeTitle + "@" + address.host + ":" + std::to_string(address.port);
}

}  // namespace tavrix_tool
