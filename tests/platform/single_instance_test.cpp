#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "support/temp_dir.h"

namespace tidewire::platform {
namespace {

using tidewire::testing::TempDir;

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstEnds) {
  TempDir dir;
  {
    const SingleInstance first(dir / "tidewire.lck");
    ASSERT_TRUE(first.held());
    const SingleInstance second(dir / "tidewire.lck");
    EXPECT_FALSE(second.held());
  }
  const SingleInstance again(dir / "tidewire.lck");
  EXPECT_TRUE(again.held());
}

TEST(SingleInstance, LockFileInAMissingFolderIsAnIoError) {
  TempDir dir;
  try {
    const SingleInstance instance(dir / "gone" / "tidewire.lck");
    FAIL() << "expected an input/output error";
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "File not found");
  }
}

}  // namespace
}  // namespace tidewire::platform
