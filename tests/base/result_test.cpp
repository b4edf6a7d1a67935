#include "base/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

lwk::Result<int, std::string> halve(int n) {
  if (n % 2 != 0) return lwk::unexpected(std::string("odd"));
  return n / 2;
}

lwk::Result<void, int> only_positive(int n) {
  if (n <= 0) return lwk::unexpected(n);
  return lwk::success();
}

TEST(Result, CarriesValueOrError) {
  auto even = halve(8);
  ASSERT_TRUE(even.has_value());
  EXPECT_EQ(even.value(), 4);
  auto odd = halve(3);
  ASSERT_FALSE(odd.has_value());
  EXPECT_EQ(odd.error(), "odd");
}

TEST(Result, SameTypeOnBothSidesStaysApart) {
  lwk::Result<std::string, std::string> good = std::string("value");
  lwk::Result<std::string, std::string> bad = lwk::unexpected(std::string("error"));
  EXPECT_TRUE(good.has_value());
  EXPECT_EQ(*good, "value");
  EXPECT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error(), "error");
}

TEST(Result, VoidSuccessAndFailure) {
  EXPECT_TRUE(only_positive(1).has_value());
  auto failed = only_positive(-4);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(), -4);
}

TEST(Result, MovesOnlyValuesOut) {
  lwk::Result<std::unique_ptr<int>, int> r = std::make_unique<int>(7);
  std::unique_ptr<int> p = std::move(r).value();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(*p, 7);
}

TEST(ResultDeathTest, ReadingTheWrongSideEndsTheProcess) {
  EXPECT_DEATH((void)halve(3).value(), "value\\(\\) of a failed result");
  EXPECT_DEATH((void)halve(2).error(), "error\\(\\) of a successful result");
}

}  // namespace
