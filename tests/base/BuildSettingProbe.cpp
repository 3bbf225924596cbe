// A host image with build-time settings, loaded by BuildSettingTest.
#include <Base.h>
#include <BuildSetting.h>

BUILD_SETTING UINT8 ProbeEnable = 0;
BUILD_SETTING UINT64 ProbeFilter = 0x100401008A300408;

MODULE_EXPORT UINT64 ProbeReadSettings() {
  return ProbeEnable != 0 ? ProbeFilter : 0;
}
