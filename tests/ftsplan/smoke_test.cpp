#include "support/test_support.hpp"

#include <gtest/gtest.h>

TEST(Ftsplan, PrintsUsage) {
    testsupport::TempDir dir;
    const auto r = testsupport::run_in(dir.path(), FTSPLAN_EXE, "", "");
    EXPECT_NE(r.out.find("usage: ftsplan"), std::string::npos);
}
