// The addon relies on the C runtime of its DLL running the .CRT$XC* initializer table in
// section-name order during load (the logger bridge at XCT before the registration at XCU).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "CrtOrderProbe.h"

TEST(CrtOrder, DllInitializersRunInSectionNameOrder) {
  std::string sequence = CrtOrderProbeSequence();
  std::printf("initializers ran as %s\n", sequence.c_str());
  SCOPED_TRACE("initializers ran as " + sequence);
  size_t t = sequence.find('T');
  size_t u = sequence.find('U');
  ASSERT_NE(t, std::string::npos);
  ASSERT_NE(u, std::string::npos);
  EXPECT_LT(t, u);
  EXPECT_EQ(sequence.find('T', t + 1), std::string::npos) << "each runs once";
  EXPECT_EQ(sequence.find('U', u + 1), std::string::npos) << "each runs once";
}
