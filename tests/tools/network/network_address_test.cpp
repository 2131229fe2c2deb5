#include "network/network_address.h"

#include <gtest/gtest.h>

namespace tavrix_tool {
namespace {

TEST(NetworkAddressTest, ReadsTitleHostAndPort) {
  struct Case {
    const char* text;
    const char* aeTitle;
    const char* host;
    uint16_t port;
  };
  const Case cases[] = {
      {"PACS@pacs.hospital.example:104", "PACS", "pacs.hospital.example", 104},
      {"ORTHANC@127.0.0.1:4242", "ORTHANC", "127.0.0.1", 4242},
      {"MY PACS@host-1:65535", "MY PACS", "host-1", 65535},
      {"A@B@pacs:11112", "A@B", "pacs", 11112},  // the last '@' separates
      {"SIXTEEN_CHARS_AE@h:1", "SIXTEEN_CHARS_AE", "h", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    NetworkAddress address;
    ASSERT_EQ(ParseNetworkAddress(c.text, address), "");
    EXPECT_EQ(address.aeTitle, c.aeTitle);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
    EXPECT_EQ(FormatNetworkAddress(address), c.text);
  }
}

TEST(NetworkAddressTest, RefusesEveryMalformedPartNamingIt) {
  struct Case {
    const char* text;
    const char* named;  // in the reason
  };
  const Case cases[] = {
      {"pacs:104", "AE@HOST:PORT"},
      {"PACS@pacs", "AE@HOST:PORT"},
      {"PACS:104@pacs", "AE@HOST:PORT"},
      {"@pacs:104", "AE title is empty"},
      {"SEVENTEEN_CHARS_A@pacs:104", "longer than 16"},
      {"PA\\CS@pacs:104", "backslash"},
      {" PACS@pacs:104", "space"},
      {"PACS @pacs:104", "space"},
      {"PACS@:104", "host is missing"},
      {"PACS@pa cs:104", "neither a host name"},
      {"PACS@-pacs:104", "neither a host name"},
      {"PACS@pacs..org:104", "neither a host name"},
      {"PACS@300.1.1.1:104", "not an IPv4 address"},
      {"PACS@10.1.1:104", "not an IPv4 address"},
      {"PACS@[::1]:104", "IPv6"},
      {"PACS@pacs:0", "port"},
      {"PACS@pacs:65536", "port"},
      {"PACS@pacs:+104", "port"},
      {"PACS@pacs:104 ", "port"},
      {"PACS@pacs:", "port"},
      {"PACS@pacs:0000104", "port"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    NetworkAddress address{"KEPT", "kept", 7};
    const std::string reason = ParseNetworkAddress(c.text, address);
    EXPECT_NE(reason.find(c.named), std::string::npos) << reason;
    EXPECT_EQ(address.aeTitle, "KEPT");
    EXPECT_EQ(address.port, 7);
  }
}

TEST(NetworkAddressTest, AeTitleRulesHoldForTheStationsOwnTitle) {
  EXPECT_EQ(CheckAeTitle("TAVRIX_DR1"), "");
  EXPECT_NE(CheckAeTitle(""), "");
  EXPECT_NE(CheckAeTitle("R\xC3\x96NTGEN"), "");  // not ASCII
  EXPECT_NE(CheckAeTitle("TAB\tAE"), "");
}

}  // namespace
}  // namespace tavrix_tool
