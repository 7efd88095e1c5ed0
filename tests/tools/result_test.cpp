// The library's result type: a value or a failure, and a fault when the wrong one is asked for.
#include "tools/qsd/lib/result.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillshade::qsd {
namespace {

TEST(Result, HoldsAValueOrAFailure) {
  Result<std::unique_ptr<int>> value = std::make_unique<int>(7);
  ASSERT_TRUE(value.ok());
  const std::unique_ptr<int> taken = std::move(value).value();  // a value that only moves
  EXPECT_EQ(*taken, 7);

  const Result<int> failed = Failure{"no such file", TextPlace{3, 4}};
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, "no such file");
  EXPECT_EQ(failed.error().place->column, 4);

  EXPECT_TRUE(Result<void>().ok());
  EXPECT_FALSE(Result<void>(Failure{"write error"}).ok());
}

TEST(ResultDeathTest, AskingForTheSideItDoesNotHoldStops) {
  EXPECT_DEATH((void)Result<int>(Failure{"x"}).value(), "");
  EXPECT_DEATH((void)Result<int>(1).error(), "");
  EXPECT_DEATH((void)Result<void>().error(), "");
}

}  // namespace
}  // namespace quillshade::qsd
