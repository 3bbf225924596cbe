#include "Engine/GuestModule.h"

#include "Engine/SystemInstructions.h"

#include <LinkMap.h>
#include <PeImage.h>

#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace boardsim {

struct GuestModuleReader {
  static void Read(GuestModule &m, const std::filesystem::path &efi);
  static void ReadMap(GuestModule &m, const std::filesystem::path &map);
};

namespace {

namespace fs = std::filesystem;

std::optional<uint64_t> Hex(std::string_view text) {
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc{} || end != text.data() + text.size() || text.empty())
    return std::nullopt;
  return value;
}

} // namespace

void GuestModuleReader::Read(GuestModule &m, const fs::path &efi) {
  using namespace imagecheck;
  std::vector<uint8_t> bytes = ReadFileBytes(efi);
  PeImage pe;
  try {
    pe = ParsePeImage(bytes);
  } catch (const PeFormatError &error) {
    throw std::runtime_error(efi.string() + " is not a usable PE image (" + error.what() +
                             "); rebuild the firmware images");
  }
  const bool x64 = pe.Machine == kMachineAmd64 && pe.Magic == kMagicPe32Plus;
  const bool ia32 = pe.Machine == kMachineI386 && pe.Magic == kMagicPe32;
  if (!x64 && !ia32)
    throw std::runtime_error(efi.string() + " is neither an x64 PE32+ nor an IA32 PE32 image; "
                                            "rebuild the firmware images");
  m.bits_ = x64 ? 64 : 32;
  m.sizeOfImage_ = pe.SizeOfImage;
  m.entryRva_ = pe.EntryPointRva;
  m.preferredBase_ = pe.ImageBase;
  m.image_.assign(pe.SizeOfImage, 0);
  std::memcpy(m.image_.data(), bytes.data(), std::min<size_t>(pe.SizeOfHeaders, pe.SizeOfImage));
  for (const Section &s : pe.Sections) {
    size_t n = std::min(s.RawSize, s.VirtualSize);
    if (s.VirtualAddress + uint64_t{n} > pe.SizeOfImage ||
        s.RawPointer + uint64_t{n} > bytes.size())
      throw std::runtime_error(efi.string() + ": section " + s.Name + " lies outside the image");
    std::memcpy(m.image_.data() + s.VirtualAddress, bytes.data() + s.RawPointer, n);
    if (s.Has(kSectionExecute))
      m.code_.emplace_back(s.VirtualAddress, s.VirtualAddress + s.VirtualSize);
  }
  const uint8_t relocType = x64 ? kRelocDir64 : kRelocHighLow;
  for (const BaseRelocation &r : pe.Relocations) {
    if (r.Type != relocType || r.Rva + uint64_t{m.bits_ / 8} > pe.SizeOfImage)
      throw std::runtime_error(efi.string() + ": base relocation of type " +
                               std::to_string(r.Type) + " at RVA " + std::to_string(r.Rva) +
                               " cannot be applied to this image");
    m.relocations_.push_back(r.Rva);
  }
  for (auto [begin, end] : m.code_) {
    auto found = FindSpecialInstructions(m.image_.data() + begin, end - begin, begin, m.bits_);
    m.specials_.insert(m.specials_.end(), found.begin(), found.end());
  }
  // The machine model carries these out on x64 registers only.
  if (ia32 && !m.specials_.empty())
    throw std::runtime_error(efi.string() +
                             " executes an MSR, debug-register, CR4, TSC or PAUSE "
                             "instruction at RVA " +
                             std::to_string(m.specials_.front().rva) +
                             "; the image engine models those in x64 images only");
}

// lld-link's map: "0001:0000023c  ?Name@@...  000000018000123c  Object.obj" for every public
// symbol; the third column is the address at the preferred load address.
void GuestModuleReader::ReadMap(GuestModule &m, const fs::path &map) {
  std::ifstream in(map);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string where, name, address;
    if (!(words >> where >> name >> address) || where.size() != 13 || where[4] != ':')
      continue;
    auto value = Hex(address);
    if (!value || *value < m.preferredBase_ || *value - m.preferredBase_ >= m.sizeOfImage_)
      continue;
    auto rva = static_cast<uint32_t>(*value - m.preferredBase_);
    m.symbols_.emplace(name, rva);
    if (m.InCode(rva))
      m.functions_.emplace(rva, name);
  }
}

const GuestModule &GuestModule::Get(const std::string &directory, const std::string &module) {
  static std::map<std::pair<std::string, std::string>, std::unique_ptr<GuestModule>> cache;
  auto &slot = cache[{directory, module}];
  if (slot)
    return *slot;
  fs::path efi = fs::path(directory) / (module + ".efi");
  if (!fs::exists(efi))
    throw std::runtime_error("firmware image " + efi.string() +
                             " not found; build the project first, or name the folder that "
                             "holds the .efi files with --images");
  auto loaded = std::make_unique<GuestModule>();
  loaded->name_ = module;
  GuestModuleReader::Read(*loaded, efi);
  GuestModuleReader::ReadMap(*loaded, fs::path(directory) / (module + ".map"));
  slot = std::move(loaded);
  return *slot;
}

const std::vector<uint8_t> &GuestModule::RelocatedFor(uint64_t base) const {
  if (relocatedBase_ == base && !relocated_.empty())
    return relocated_;
  relocated_ = image_;
  const uint64_t delta = base - preferredBase_;
  for (uint32_t rva : relocations_) {
    uint8_t *at = relocated_.data() + rva;
    if (bits_ == 64) {
      uint64_t value;
      std::memcpy(&value, at, 8);
      value += delta;
      std::memcpy(at, &value, 8);
    } else {
      uint32_t value;
      std::memcpy(&value, at, 4);
      value += static_cast<uint32_t>(delta);
      std::memcpy(at, &value, 4);
    }
  }
  relocatedBase_ = base;
  return relocated_;
}

std::optional<uint32_t> GuestModule::SymbolRva(const std::string &name) const {
  auto it = symbols_.find(name);
  if (it == symbols_.end())
    return std::nullopt;
  return it->second;
}

std::string GuestModule::FunctionAt(uint32_t rva) const {
  if (!InCode(rva))
    return "";
  auto it = functions_.upper_bound(rva);
  if (it == functions_.begin())
    return "";
  return std::prev(it)->second;
}

bool GuestModule::InCode(uint32_t rva) const {
  for (auto [begin, end] : code_)
    if (rva >= begin && rva < end)
      return true;
  return false;
}

} // namespace boardsim
