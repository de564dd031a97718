#include "show/Random.h"

#include <gtest/gtest.h>

namespace moonglow {
namespace {

TEST(Random, FreshGeneratorStartsAtOne) {
  TRandom r;
  EXPECT_EQ(r.Draw(), 346);
  EXPECT_EQ(r.Draw(), 130);
  EXPECT_EQ(r.Draw(), 10982);
}

TEST(Random, SeedRestartsTheSequence) {
  TRandom a;
  a.Draw();
  a.Draw();
  a.Seed(1);
  EXPECT_EQ(a.Draw(), 346);

  // Two generators are independent of each other.
  TRandom b, c;
  b.Seed(12345);
  c.Seed(12345);
  c.Draw();
  b.Draw();
  EXPECT_EQ(b.Draw(), c.Draw());
}

TEST(Random, DrawsStayWithinFifteenBitsAcrossTheWrap) {
  TRandom r;
  r.Seed(0xFFFFFFFFu);
  // state × 22695477 + 1 wraps modulo 2^32: 0xFFFFFFFF × 22695477 + 1 ≡ −22695476.
  r.Draw();
  EXPECT_EQ(r.State, 0u - 22695476u);
  for (int i = 0; i < 100000; ++i) {
    const std::int32_t v = r.Draw();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

}  // namespace
}  // namespace moonglow
