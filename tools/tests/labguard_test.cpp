// The guard that keeps lab tests from broadcasting when started outside a lab.
#include "tools/testsupport/lab.h"

#include <gtest/gtest.h>
#include <stdlib.h>

TEST(LabGuard, VariablesAloneDoNotMakeALab) {
    // This program runs in the machine's own namespace (or any namespace but a lab's computer).
    ::setenv("NETLAB_NAME", "no-such-lab", 1);
    ::setenv("NETLAB_DIR", "/tmp", 1);
    EXPECT_FALSE(labtest::inLab());
    ::unsetenv("NETLAB_DIR");
    EXPECT_FALSE(labtest::inLab());
    ::unsetenv("NETLAB_NAME");
    EXPECT_FALSE(labtest::inLab());
}

TEST(LabGuard, DevicesAreNumberedFromOneInHex) {
    EXPECT_EQ(labtest::deviceAddress(1), "192.0.2.11");
    EXPECT_EQ(labtest::deviceMac(1), "02-00-00-00-00-01");
    EXPECT_EQ(labtest::deviceMac(50), "02-00-00-00-00-32");
}
