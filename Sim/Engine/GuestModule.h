// A firmware image file as the image engine loads it: the PE32+ (x64) or PE32 (IA32) image with
// its base relocations,
// the link map written next to it (symbol names for build settings and fault reports), and the
// places where its code executes an instruction that reaches the processor model.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// Instructions that Unicorn either refuses to hook (RDMSR/WRMSR) or executes on its own
// processor state (debug and control registers, TSC, PAUSE): each is run by the machine model.
enum class SpecialKind : uint8_t {
  ReadMsr,
  WriteMsr,
  ReadDr,
  WriteDr,
  ReadCr4,
  WriteCr4,
  ReadTsc,
  Pause
};

struct SpecialInstruction {
  uint32_t rva;
  uint8_t length;
  SpecialKind kind;
  uint8_t gpr;     // general register operand of a MOV (0 = RAX ... 15 = R15)
  uint8_t control; // debug or control register number of a MOV
};

class GuestModule {
public:
  // The image `module`.efi (and `module`.map) in `directory`, read once per process.
  // Throws std::runtime_error with a user-facing message when it is missing or unusable.
  static const GuestModule &Get(const std::string &directory, const std::string &module);

  const std::string &Name() const { return name_; }
  // 32 for an IA32 image, 64 for an x64 image.
  unsigned Bits() const { return bits_; }
  uint32_t SizeOfImage() const { return sizeOfImage_; }
  uint32_t EntryRva() const { return entryRva_; }
  // The image's memory, headers and sections at their RVAs, relocated for `base`.
  const std::vector<uint8_t> &RelocatedFor(uint64_t base) const;
  std::optional<uint32_t> SymbolRva(const std::string &name) const;
  // The function of the link map that holds `rva`, or "" when the map does not say.
  std::string FunctionAt(uint32_t rva) const;
  bool InCode(uint32_t rva) const;
  const std::vector<SpecialInstruction> &Specials() const { return specials_; }

private:
  std::string name_;
  unsigned bits_ = 64;
  uint32_t sizeOfImage_ = 0, entryRva_ = 0;
  uint64_t preferredBase_ = 0;
  std::vector<uint8_t> image_;        // laid out at the preferred base
  std::vector<uint32_t> relocations_; // DIR64 in an x64 image, HIGHLOW in an IA32 image
  std::vector<std::pair<uint32_t, uint32_t>> code_; // [begin, end) RVAs of code sections
  std::map<std::string, uint32_t> symbols_;
  std::map<uint32_t, std::string> functions_;
  std::vector<SpecialInstruction> specials_;
  mutable uint64_t relocatedBase_ = 0;
  mutable std::vector<uint8_t> relocated_;

  friend struct GuestModuleReader;
};

} // namespace boardsim
