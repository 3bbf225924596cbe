// Shared set-up of the debug output tests: a fresh machine, the build-time settings as shipped
// and no heap buffers.
#pragma once
#include "SmmServiceDoubles.h"
#include "TestMachine.h"
#include <DebugTraceBuffer.h>
#include <Debug/DebugSettings.h>
#include <gtest/gtest.h>

inline constexpr uint64_t kMessageLevel = 0x4000000000000; // the S3 save library's level
inline constexpr uint32_t kBreakpointPortTag = 0xC0BF99CC;
inline constexpr uint16_t kBreakpointPort = 0x99CC;

class DebugOutputTest : public ::testing::Test {
protected:
  TestMachine Machine;

  void SetUp() override {
    DebugPrintEnable = 0;
    BreakpointChannelEnable = 1;
    FramedPortAddress = 0x80;
    SerialPortBase = 0x3F8;
    DefaultDebugFilter = 0x100401008A300408;
    SmmServiceDoubles::Reset();
  }
  void TearDown() override { SmmServiceDoubles::Reset(); }

  // Makes a trace buffer available under its heap handle (debug register 3 set) and returns it.
  // HeapSize 0 sizes the heap buffer for the header and Capacity.
  DEBUG_TRACE_BUFFER *ProvideTraceBuffer(uint16_t Capacity, uint8_t Enable, uint8_t Buffered,
                                         uint64_t Filter, size_t HeapSize = 0) {
    auto &Heap = SmmServiceDoubles::TraceHeapBuffer;
    Heap.assign(HeapSize != 0 ? HeapSize : DEBUG_TRACE_BUFFER_HEADER_SIZE + Capacity, 0);
    auto *Buffer = reinterpret_cast<DEBUG_TRACE_BUFFER *>(Heap.data());
    Buffer->Signature = DEBUG_TRACE_BUFFER_SIGNATURE;
    Buffer->Capacity = Capacity;
    Buffer->Enable = Enable;
    Buffer->Buffered = Buffered;
    Buffer->Filter = Filter;
    SmmServiceDoubles::TraceHeapBufferPresent = true;
    Machine.DebugRegisters[3] = 1;
    return Buffer;
  }

  // Both UARTs report themselves ready at every status read.
  void UartsAlwaysReady() {
    Machine.PortReads[0x3FD] = [] { return 0x60; };
    Machine.PortReads[uint16_t(SerialPortBase + 5)] = [] { return 0x60; };
  }
};
