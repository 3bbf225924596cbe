// What a 32-bit PEI image meets in the image engine: the PEI services table, the platform PPIs
// and the IDT in IA32 layout, in board memory. Their members are thunks: a call lands on the
// thunk page of the IA32 processor, the arguments are taken off the stack (cdecl), translated to
// the host layout (pointer-sized out values, UINTN in/out values, PPI and notify descriptor
// lists) and passed to the same simulator function a host image calls; the result goes back in
// EAX (or EDX:EAX). The other way, arguments the simulator passes to image code (the services
// pointer, a PPI, a notify descriptor) are translated back to what the image gave or was given.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace boardsim {

class Simulator;

class PeiWorld32 {
public:
  // Builds the tables in [area, area + size) of board memory; the IA32 processor's thunks reach
  // this world until it is destroyed.
  PeiWorld32(Simulator &sim, uint64_t area, uint64_t size);
  ~PeiWorld32();
  PeiWorld32(const PeiWorld32 &) = delete;
  PeiWorld32 &operator=(const PeiWorld32 &) = delete;

  // The IDT base: the 4 bytes below it hold the services pointer (EFI_PEI_SERVICES **).
  uint32_t IdtBase() const { return idt_; }
  static constexpr uint32_t kIdtLimit = 256 * 8 - 1;

  // Records that host object `host` is `guest` to image code (and back).
  void Map(uint64_t host, uint32_t guest);
  // An argument for image code: its guest twin, or the value itself when it fits 32 bits.
  uint32_t ToGuest(uint64_t value) const;

private:
  struct Thunk {
    uint64_t host;         // the simulator's EFIAPI function
    const char *signature; // see PeiWorld32.cpp
  };
  void *Take(uint64_t size);
  uint32_t AddThunk(uint64_t host, const char *signature);
  // Builds the IA32 twin of a host table whose pointer slots are described by `signatures`
  // (nullptr: a data word), followed by `tail` bytes copied as they are.
  uint32_t Twin(const void *host, const std::vector<const char *> &signatures, size_t tail);
  void CallThunk(uint32_t index);
  uint64_t ToHost(uint32_t value) const;
  uint64_t PpiList(uint32_t guest);
  uint64_t NotifyList(uint32_t guest);

  Simulator &sim_;
  uint64_t next_, end_;
  uint32_t idt_ = 0;
  std::vector<Thunk> thunks_;
  std::map<uint64_t, uint32_t> toGuest_;
  std::map<uint32_t, uint64_t> toHost_;
};

} // namespace boardsim
