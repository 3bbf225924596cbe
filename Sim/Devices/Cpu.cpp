#include "Devices/Cpu.h"

#include "Core/Simulator.h"
#include "Devices/DebugAgent.h"

#include <cstdio>
#include <cstring>

namespace boardsim {
namespace {

constexpr uint32_t kBreakpointMsr = 0xC001100A;
constexpr uint64_t kBreakpointDr7 = 0x2000420;
constexpr uint64_t kCr4DebuggingExtensions = 1 << 3;

constexpr uint32_t kMaxBasicLeaf = 0x1;
constexpr uint32_t kMaxExtendedLeaf = 0x80000001;
constexpr uint32_t kExtendedLeafBase = 0x80000000;
constexpr uint32_t kSignature = 0x00A00F11; // family 19h, model 01h, stepping 1
constexpr char kVendor[] = "AuthenticAMD";

std::string HexIndex(uint32_t index) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", index);
  return text;
}

void PutVendor(uint32_t out[4]) {
  std::memcpy(&out[1], kVendor, 4);     // EBX
  std::memcpy(&out[3], kVendor + 4, 4); // EDX
  std::memcpy(&out[2], kVendor + 8, 4); // ECX
}

} // namespace

Cpu::Cpu(Simulator &sim, const CpuConfig &config)
    : sim_(sim), cr4_(config.cr4), probeAnswer_(config.error_stop_probe),
      tscPerPause_(config.tsc_per_pause) {
  for (const auto &[index, value] : config.msr)
    msrs_[index].value = value;
  dr_[2] = config.dr2;
  dr_[3] = config.dr3;
  dr_[7] = config.dr7;
}

Cpu::Msr &Cpu::MsrEntry(uint32_t index) {
  Msr &msr = msrs_[index];
  msr.touched = true;
  return msr;
}

uint64_t Cpu::ReadMsr(uint32_t index) {
  const uint64_t value = MsrEntry(index).value;
  sim_.Emit("msr", [&](Json &e) {
    e["dir"] = "read";
    e["index"] = index;
    e["value"] = value;
  });
  return value;
}

void Cpu::WriteMsr(uint32_t index, uint64_t value) {
  MsrEntry(index).value = value;
  sim_.Emit("msr", [&](Json &e) {
    e["dir"] = "write";
    e["index"] = index;
    e["value"] = value;
  });
}

uint64_t Cpu::ReadDr(unsigned reg) {
  const uint64_t value = reg < dr_.size() ? dr_[reg] : 0;
  sim_.Emit("dr", [&](Json &e) {
    e["dir"] = "read";
    e["reg"] = reg;
    e["value"] = value;
  });
  return value;
}

void Cpu::WriteDr(unsigned reg, uint64_t value) {
  if (reg < dr_.size())
    dr_[reg] = value;
  sim_.Emit("dr", [&](Json &e) {
    e["dir"] = "write";
    e["reg"] = reg;
    e["value"] = value;
  });
}

uint64_t Cpu::ReadCr4() {
  sim_.Emit("cr4", [&](Json &e) {
    e["dir"] = "read";
    e["value"] = cr4_;
  });
  return cr4_;
}

void Cpu::WriteCr4(uint64_t value) {
  cr4_ = value;
  sim_.Emit("cr4", [&](Json &e) {
    e["dir"] = "write";
    e["value"] = value;
  });
}

void Cpu::Cpuid(uint32_t leaf, uint32_t out[4]) {
  std::memset(out, 0, 4 * sizeof out[0]);
  if (leaf == 0) {
    out[0] = kMaxBasicLeaf;
    PutVendor(out);
  } else if (leaf == 1) {
    out[0] = kSignature;
  } else if (leaf == kExtendedLeafBase) {
    out[0] = kMaxExtendedLeaf;
    PutVendor(out);
  } else if (leaf == kExtendedLeafBase + 1) {
    out[0] = kSignature;
  }
  sim_.Emit("cpuid", [&](Json &e) {
    e["eax"] = leaf;
    e["result"] = {out[0], out[1], out[2], out[3]};
  });
}

uint16_t Cpu::CpuidReturnSi(uint32_t eax, uint32_t ebx, uint16_t si) {
  const bool probe = eax == kErrorStopProbeLeaf && ebx == kErrorStopProbeEbx && probeAnswer_ != 0;
  const uint16_t siOut = probe ? probeAnswer_ : si;
  sim_.Emit("cpuid", [&](Json &e) {
    e["eax"] = eax;
    e["ebx"] = ebx;
    e["si_out"] = siOut;
  });
  return siOut;
}

uint64_t Cpu::ReadTsc() {
  sim_.Emit("tsc", [&](Json &e) { e["value"] = tsc_; });
  return tsc_;
}

void Cpu::Pause() {
  tsc_ += tscPerPause_;
  sim_.Emit("pause");
}

bool Cpu::BreakpointArmed() const {
  auto msr = msrs_.find(kBreakpointMsr);
  return msr != msrs_.end() && (msr->second.value & 1) && dr_[2] == kBreakpointPort &&
         (dr_[7] & kBreakpointDr7) == kBreakpointDr7 && (cr4_ & kCr4DebuggingExtensions);
}

void Cpu::FillFinal(Json &final) const {
  Json &dr = AddMember(final, "dr", ObjectWithRoom(3));
  for (unsigned reg : {2, 3, 7})
    AddMember(dr, std::to_string(reg), dr_[reg]);
  AddMember(final, "cr4", cr4_);
  Json &msrs = AddMember(final, "msr", ObjectWithRoom(msrs_.size()));
  for (const auto &[index, msr] : msrs_) {
    if (msr.touched)
      AddMember(msrs, HexIndex(index), msr.value);
  }
}

} // namespace boardsim
