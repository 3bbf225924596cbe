// A C module of a platform and the C++ modules of this tree see the same interface: every size,
// offset, constant and GUID of Include/ as the C99 consumer (CConsumer.c) compiled it.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

#include <BoardInfoPpi.h>
#include <BoardInfoProtocol.h>
#include <DebugTraceBuffer.h>
#include <Guids.h>
#include <PcdTokens.h>
#include <PlatformPpis.h>
#include <S3SaveTable.h>
#include <SetupVariable.h>
#include <SmmHeapList.h>

#define OFFSET_OF(Type, Field) __builtin_offsetof(Type, Field)
#include "LayoutFact.h"

extern "C" const LAYOUT_FACT CLayoutFacts[];
extern "C" const UINTN CLayoutFactCount;
extern "C" UINT8 *CDebugTraceBufferData(DEBUG_TRACE_BUFFER *Buffer);

namespace {

const LAYOUT_FACT kCppFacts[] = {
#include "LayoutFacts.inc"
};

TEST(CInterfaceHeaders, GiveCTheLayoutsConstantsAndGuidsOfTheModules) {
  ASSERT_EQ(CLayoutFactCount, std::size(kCppFacts));
  for (std::size_t i = 0; i < std::size(kCppFacts); ++i) {
    const LAYOUT_FACT &c = CLayoutFacts[i];
    const LAYOUT_FACT &cpp = kCppFacts[i];
    ASSERT_STREQ(c.Name, cpp.Name);
    EXPECT_EQ(c.Value, cpp.Value) << cpp.Name;
    EXPECT_EQ(std::memcmp(&c.Guid, &cpp.Guid, sizeof(EFI_GUID)), 0) << cpp.Name;
  }
}

TEST(CInterfaceHeaders, FindTheTraceTextWhereTheModulesDo) {
  DEBUG_TRACE_BUFFER Buffer{};
  EXPECT_EQ(CDebugTraceBufferData(&Buffer), DebugTraceBufferData(&Buffer));
}

} // namespace
