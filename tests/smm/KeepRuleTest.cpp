#include <gtest/gtest.h>

#include "DriverStart.h"

namespace {

TEST(KeepRule, SuccessAndWarningsAlwaysReplaceTheModuleStatus) {
  EXPECT_EQ(KeepModuleStatus(EFI_LOAD_ERROR, EFI_SUCCESS), EFI_SUCCESS);
  EXPECT_EQ(KeepModuleStatus(EFI_LOAD_ERROR, EFI_WARN_STALE_DATA), EFI_WARN_STALE_DATA);
  EXPECT_EQ(KeepModuleStatus(EFI_SUCCESS, EFI_WARN_BUFFER_TOO_SMALL), EFI_WARN_BUFFER_TOO_SMALL);
  EXPECT_EQ(KeepModuleStatus(EFI_WARN_UNKNOWN_GLYPH, EFI_SUCCESS), EFI_SUCCESS);
}

TEST(KeepRule, AnErrorReplacesOnlyAnError) {
  // The initial EFI_LOAD_ERROR is an error, so the body's own error is what DriverStart returns.
  EXPECT_EQ(KeepModuleStatus(EFI_LOAD_ERROR, EFI_NOT_FOUND), EFI_NOT_FOUND);
  EXPECT_EQ(KeepModuleStatus(EFI_DEVICE_ERROR, EFI_LOAD_ERROR), EFI_LOAD_ERROR);
  EXPECT_EQ(KeepModuleStatus(EFI_SUCCESS, EFI_OUT_OF_RESOURCES), EFI_SUCCESS);
  EXPECT_EQ(KeepModuleStatus(EFI_WARN_WRITE_FAILURE, EFI_UNSUPPORTED), EFI_WARN_WRITE_FAILURE);
}

} // namespace
