#include "Report/ErrorStops.h"

namespace boardsim::report {
namespace {

struct KnownStop {
  uint32_t code;
  const char *meaning;
};

constexpr KnownStop kKnownStops[] = {
    {0x00010133, "port read with an unknown access width"},
    {0x00010170, "port write with an unknown access width"},
    {0x00010314, "memory read with an unknown access width"},
    {0x00010355, "memory write with an unknown access width"},
    {0x00070177, "no SMRAM for a heap buffer of kind 8"},
    {0x00070180, "no SMRAM for a heap buffer"},
    {0x00070268, "SMM_HEAP_LIST_PROTOCOL could not be installed"},
    {0x00090672, "S3 save table signature is not \"AS3T\""},
    {0x00090677, "S3 save table boundary marker 0x01558844 missing"},
    {0x00090682, "S3 save table offsets leave the table's side of SMRAM"},
    {0x00090821, "PcdS3CommunicationBuffer names no usable buffer"},
    {0x00090835, "EFI_SMM_COMMUNICATION_PROTOCOL not found"},
    {0x00090869, "MSR 0xC0010058 bit 0 clear: no PCIe window"},
    {0x00090875, "S3 private record could not be allocated"},
    {0x00090898, "ready-to-lock event not created"},
    {0x00090915, "close-table event not created with EFI_SUCCESS"},
    {0x00090941, "closing the ready-to-lock event failed"},
    {0x00090946, "closing the close-table event failed"},
};

struct Library {
  uint32_t upper;
  const char *name;
};

constexpr Library kLibraries[] = {
    {0x0001, "port and memory accessors"},
    {0x0007, "heap transfer"},
    {0x0009, "S3 save library"},
};

constexpr uint8_t kMarkHigh = 0xDE, kMarkLow = 0xAD;
constexpr size_t kShowing = 6; // DE, AD, then the code's bytes from the top

} // namespace

std::string ErrorStopMeaning(uint32_t code) {
  for (const KnownStop &stop : kKnownStops)
    if (stop.code == code)
      return stop.meaning;
  for (const Library &library : kLibraries)
    if (library.upper == code >> 16)
      return std::string("unknown code of the ") + library.name;
  return "unknown code";
}

std::optional<uint32_t> CodeOnPostDisplay(const std::vector<uint32_t> &port80) {
  for (size_t i = port80.size(); i >= kShowing; --i) {
    const size_t at = i - kShowing;
    auto shown = [&](size_t k) { return uint8_t(port80[at + k]); };
    if (shown(0) != kMarkHigh || shown(1) != kMarkLow)
      continue;
    return uint32_t(shown(2)) << 24 | uint32_t(shown(3)) << 16 | uint32_t(shown(4)) << 8 | shown(5);
  }
  return std::nullopt;
}

std::vector<uint32_t> WithoutTextFrames(const std::vector<uint32_t> &port80) {
  std::vector<uint32_t> codes;
  // The kept values may start inside a frame: everything before a leading end marker is text.
  size_t at = 0;
  for (size_t i = 0; i < port80.size() && port80[i] != kFrameStart; ++i)
    if (port80[i] == kFrameEnd)
      at = i + 1;
  bool inFrame = false;
  for (; at < port80.size(); ++at) {
    if (port80[at] == kFrameStart)
      inFrame = true;
    else if (inFrame && port80[at] == kFrameEnd)
      inFrame = false;
    else if (!inFrame)
      codes.push_back(port80[at]);
  }
  return codes;
}

} // namespace boardsim::report
