// The contract between a host-built module image and the simulator that loads it.
//
// Each loaded image instance carries its own copy of the host backend, bound to the simulator
// through HostBackendAttach. Every hardware access of the module becomes one call through the
// bridge, tagged with the instance's context so the simulator knows which image made it.
// The bridge uses the host's own calling convention: it never crosses into firmware tables.
#pragma once
#include <stdint.h>

extern "C" {

struct HOST_BRIDGE {
  uint64_t (*IoRead)(void *Context, uint16_t Port, uint32_t WidthBits);
  void (*IoWrite)(void *Context, uint16_t Port, uint32_t WidthBits, uint64_t Value);
  uint64_t (*MmioRead)(void *Context, uint64_t Address, uint32_t WidthBits);
  void (*MmioWrite)(void *Context, uint64_t Address, uint32_t WidthBits, uint64_t Value);
  uint64_t (*ReadMsr)(void *Context, uint32_t Index);
  void (*WriteMsr)(void *Context, uint32_t Index, uint64_t Value);
  uint64_t (*ReadDr)(void *Context, uint32_t Register);
  void (*WriteDr)(void *Context, uint32_t Register, uint64_t Value);
  uint64_t (*ReadCr4)(void *Context);
  void (*WriteCr4)(void *Context, uint64_t Value);
  void (*Cpuid)(void *Context, uint32_t Leaf, uint32_t Out[4]);
  uint64_t (*ReadTsc)(void *Context);
  void (*Pause)(void *Context);
  // 32-bit OUT to (Edx & 0xFFFF) with the three registers loaded; Text is the full host address
  // that EAX holds the low half of.
  void (*PortHandOver)(void *Context, uint32_t Eax, uint32_t Ebx, uint32_t Edx, const void *Text);
  uint16_t (*CpuidReturnSi)(void *Context, uint32_t Eax, uint32_t Ebx, uint16_t Si);
  // What a PEIM's GetPeiServicesTablePointer returns (const EFI_PEI_SERVICES **).
  const void *(*PeiServicesTablePointer)(void *Context);
};

// Exported by every host image; the loader calls it once, before the entry point.
using HOST_BACKEND_ATTACH = void (*)(const HOST_BRIDGE *Bridge, void *Context);
inline constexpr const char *kHostBackendAttachSymbol = "HostBackendAttach";
}
