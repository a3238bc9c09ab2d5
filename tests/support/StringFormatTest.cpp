#include "support/StringFormat.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(StringFormatTest, FillsConversionsInOrder) {
  EXPECT_EQ(stringWithFormat("Could Not Add %lu Invalid Files.", {"3"}),
            "Could Not Add 3 Invalid Files.");
  EXPECT_EQ(stringWithFormat("Saving %ld of %ld files", {"2", "10"}), "Saving 2 of 10 files");
  EXPECT_EQ(stringWithFormat("%@ (%lu: %@)", {"Set", "1", "x"}), "Set (1: x)");
  EXPECT_EQ(stringWithFormat("100%% of %@", {"it"}), "100% of it");
  // Missing arguments and a lone percent sign at the end never read past the input.
  EXPECT_EQ(stringWithFormat("%@ and %@", {"one"}), "one and ");
  EXPECT_EQ(stringWithFormat("50%", {}), "50%");
  EXPECT_EQ(stringWithFormat("%q", {"x"}), "%q");
}

}  // namespace
}  // namespace quorvel
