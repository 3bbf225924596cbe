// Fixture of the driver's unit tests: a fresh configuration-space model, fresh service fakes and
// module globals as a newly loaded image has them.
#pragma once
#include "BoardInfoDxe.h"
#include "ConfigSpaceModel.h"
#include "FakeDxeServices.h"
#include "PcdAccess.h"
#include "PciTopology.h"
#include <Library/UefiBootServicesTableLib.h>
#include <gtest/gtest.h>

class DriverTest : public ::testing::Test {
protected:
  void SetUp() override {
    ResetModel();
    ResetDxe();
    mPcdProtocol = nullptr;
    mSetupCopy = nullptr;
  }

  // Accesses of the module since the last call, then forgets them.
  std::vector<HwAccess> TakeLog() { return std::exchange(Model().Log, {}); }
};

constexpr uint64_t Ecam(uint16_t Bdf, uint32_t Offset) {
  return ECAM_BASE + (uint64_t(Bdf) << 12) + Offset;
}
