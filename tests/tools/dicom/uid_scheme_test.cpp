#include "dicom/uid_scheme.h"

#include <gtest/gtest.h>

#include <set>

#include "dicom/value_checks.h"

namespace tavrix_tool {
namespace {

TEST(UidSchemeTest, ImplementationClassUidIsItsUuidAsOneNumber) {
  const unsigned char uuid[16] = {0xa3, 0xd8, 0x5d, 0x97, 0x55, 0xec, 0x46, 0x3a,
                                  0xa7, 0x99, 0x8b, 0x26, 0x7e, 0x0d, 0x81, 0xdb};
  EXPECT_EQ(UuidUid(uuid), kImplementationClassUid);
  const unsigned char small[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  EXPECT_EQ(UuidUid(small), "2.25.256");
  EXPECT_LE(std::string(kImplementationVersionName).size(), 16u);
}

TEST(UidSchemeTest, NewUidsAreValidUniqueAndUnderTheRoot) {
  const std::string longestRoot = "1.2.3." + std::string(kMaxUidRootLength - 6, '9');
  for (const std::string& root : {std::string(), std::string("1.2.826.0.1.3680043.10.999"), longestRoot}) {
    SCOPED_TRACE(root);
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
      const std::string uid = NewUid(root);
      ASSERT_EQ(CheckValue("uid", Vr::kUI, uid), "");
      ASSERT_EQ(uid.rfind((root.empty() ? "2.25" : root) + ".", 0), 0u) << uid;
      seen.insert(uid);
    }
    EXPECT_EQ(seen.size(), 1000u);
  }
}

TEST(UidSchemeTest, RefusesRootsThatCannotPrefixAUid) {
  EXPECT_NE(CheckUidRoot("--uid-root", ""), "");
  EXPECT_NE(CheckUidRoot("--uid-root", "1.2.03").find("leading zero"), std::string::npos);
  EXPECT_NE(CheckUidRoot("--uid-root", "1.2.3.").find("empty component"), std::string::npos);
  EXPECT_NE(CheckUidRoot("--uid-root", "1.2.3." + std::string(kMaxUidRootLength, '1')).find("20 digits"),
            std::string::npos);
  EXPECT_EQ(CheckUidRoot("--uid-root", "1.2.826.0.1.3680043.10.999"), "");
}

}  // namespace
}  // namespace tavrix_tool
