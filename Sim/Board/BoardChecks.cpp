#include "Board/BoardChecks.h"

#include "Board/MemoryMap.h"
#include "Board/NumberFormat.h"
#include "Devices/BarMemory.h"
#include "Devices/Uart.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace boardsim {
namespace {

struct Window {
  uint64_t begin, end; // [begin, end)
  std::string name;    // "BAR0 of 01:00.0", "the UART at 0xD0000000"
  std::string key;     // "pci[1].bar0"
  uint32_t line;
  bool Overlaps(uint64_t b, uint64_t e) const { return begin < e && b < end; }
};

std::string BdfName(const Bdf &bdf) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x:%02x.%x", bdf.bus, bdf.device, bdf.function);
  return text;
}

} // namespace

std::vector<BoardError> CheckDeviceWindows(const Board &board, const std::string &file) {
  std::vector<Window> windows;
  for (size_t i = 0; i < board.pci.size(); ++i) {
    const PciFunction &f = board.pci[i];
    if (f.bar0)
      windows.push_back({*f.bar0, uint64_t{*f.bar0} + kBarWindowSize,
                         "BAR0 of " + BdfName(f.bdf) + " (" + Hex(*f.bar0) + ", 32 MiB)",
                         "pci[" + std::to_string(i) + "].bar0", f.line});
  }
  // The legacy UART is always the first entry of board.uarts; entries of the file follow.
  for (size_t i = 1; i < board.uarts.size(); ++i) {
    const UartConfig &u = board.uarts[i];
    if (IsMemoryUart(u.base))
      windows.push_back({u.base, u.base + kMemoryUartSpan, "the UART at " + Hex(u.base),
                         "uart[" + std::to_string(i - 1) + "].base", u.line});
  }
  std::vector<Window> fixed = {
      {kEcamWindowBase, kEcamWindowEnd, "the PCI configuration window (0xF0000000-0xFFFFFFFF)", "",
       0},
      {kGeneralMemoryBase, kGeneralMemoryEnd, "board memory (0x10000000-0x10FFFFFF)", "", 0}};
  std::vector<SmramRange> smram = board.smm.smram_ranges;
  smram.insert(smram.begin(), {kSmramBase, board.smm.smram_size, 0});
  for (const SmramRange &range : smram)
    fixed.push_back({range.base, range.base + range.size,
                     "SMRAM (" + Hex(range.base) + "-" + Hex(range.base + range.size - 1) + ")", "",
                     0});
  std::vector<BoardError> errors;
  auto report = [&](const Window &w, const std::string &other) {
    errors.push_back({file, w.line, 0, w.key, w.name + " overlaps " + other,
                      "move it: device windows may share no address with each other, the "
                      "configuration window or memory; PCI memory is free from 0xC0000000 to "
                      "0xEFFFFFFF"});
  };
  for (size_t i = 0; i < windows.size(); ++i) {
    for (const Window &f : fixed)
      if (windows[i].Overlaps(f.begin, f.end))
        report(windows[i], f.name);
    for (size_t j = 0; j < i; ++j)
      if (windows[i].Overlaps(windows[j].begin, windows[j].end))
        report(windows[i], windows[j].name + " (line " + std::to_string(windows[j].line) + ")");
  }
  return errors;
}

std::vector<BoardError> CheckHeapSpace(const Board &board, const std::string &file) {
  constexpr uint64_t kFixedHobs = 64; // the handoff HOB and the end-of-list HOB
  uint64_t total = kFixedHobs;
  for (size_t i = 0; i < board.heap.size(); ++i) {
    const HeapRecord &record = board.heap[i];
    total += HeapRecordFootprint(record);
    if (total > kHobListMaxSize)
      return {{file, record.line, 0, "heap[" + std::to_string(i) + "]",
               "the HOB list reaches " + std::to_string(total) +
                   " bytes with this record, more "
                   "than the " +
                   std::to_string(kHobListMaxSize) + " bytes the platform has for it",
               "give the records smaller sizes; describe a large buffer by its `size` only where "
               "its length matters"}};
  }
  return {};
}

std::vector<BoardError> BootScriptWarnings(const Board &board, const std::string &file) {
  std::vector<BoardError> warnings;
  std::set<std::string> dispatched;
  for (size_t i = 0; i < board.boot.size(); ++i) {
    const BootStep &step = board.boot[i];
    std::string needs;
    if (step.action == BootAction::Dispatch)
      dispatched.insert(step.value);
    else if (step.action == BootAction::Call)
      needs = step.call_target == CallTarget::BoardInfoPpiEntry ? "BoardInfoPei" : "BoardInfoDxe";
    else if (step.action == BootAction::Smi)
      needs = "S3SaveSmm";
    if (!needs.empty() && !dispatched.contains(needs))
      warnings.push_back({file, step.line, 0, "boot[" + std::to_string(i) + "]",
                          "this step calls into " + needs + ", which no earlier step dispatches",
                          "add a step dispatch = \"" + needs + "\" before it"});
  }
  if (dispatched.empty())
    warnings.push_back({file, board.boot.empty() ? 0 : board.boot.front().line, 0, "boot",
                        "the boot script dispatches no module, so the run tests no firmware",
                        "add a dispatch step, e.g. dispatch = \"BoardInfoDxe\""});
  return warnings;
}

} // namespace boardsim
