// A host image's build settings are exported and writable, and the image's code reads the
// written values (it does not keep the built-in ones).
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <Base.h>

namespace {

TEST(BuildSetting, SimulatorCanRewriteASettingAfterLoading) {
  void *Image = dlopen(BUILD_SETTING_PROBE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(Image, nullptr) << dlerror();
  auto *Enable = static_cast<UINT8 *>(dlsym(Image, "ProbeEnable"));
  auto *Filter = static_cast<UINT64 *>(dlsym(Image, "ProbeFilter"));
  auto *Read = reinterpret_cast<UINT64 (*)()>(dlsym(Image, "ProbeReadSettings"));
  ASSERT_NE(Enable, nullptr);
  ASSERT_NE(Filter, nullptr);
  ASSERT_NE(Read, nullptr);

  EXPECT_EQ(*Enable, 0);
  EXPECT_EQ(Read(), 0u);
  *Enable = 1;
  EXPECT_EQ(Read(), 0x100401008A300408u);
  *Filter = 0x4000000000000;
  EXPECT_EQ(Read(), 0x4000000000000u);
  dlclose(Image);
}

} // namespace
