#include "Core/HostSymbols.h"

#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace boardsim {
namespace {

std::vector<char> ReadFile(const char *path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A copy of a T at `offset` of `bytes`, if it lies there whole.
template <typename T> bool ReadAt(const std::vector<char> &bytes, uint64_t offset, T &out) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
    return false;
  std::memcpy(&out, bytes.data() + offset, sizeof(T));
  return true;
}

// The STT_FUNC symbol of an ELF64 file's .symtab that covers `offset` (from its load base).
std::string SymbolAt(const std::vector<char> &elf, uint64_t offset) {
  Elf64_Ehdr header;
  if (!ReadAt(elf, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64)
    return {};
  for (unsigned i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr symbols, strings;
    if (!ReadAt(elf, header.e_shoff + uint64_t(i) * sizeof(Elf64_Shdr), symbols))
      return {};
    if (symbols.sh_type != SHT_SYMTAB ||
        !ReadAt(elf, header.e_shoff + uint64_t(symbols.sh_link) * sizeof(Elf64_Shdr), strings))
      continue;
    for (uint64_t at = 0; at + sizeof(Elf64_Sym) <= symbols.sh_size; at += sizeof(Elf64_Sym)) {
      Elf64_Sym symbol;
      if (!ReadAt(elf, symbols.sh_offset + at, symbol))
        return {};
      if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || offset < symbol.st_value ||
          offset - symbol.st_value >= symbol.st_size || symbol.st_name >= strings.sh_size)
        continue;
      const uint64_t name = strings.sh_offset + symbol.st_name;
      if (name >= elf.size())
        return {};
      return std::string(elf.data() + name, strnlen(elf.data() + name, elf.size() - name));
    }
  }
  return {};
}

} // namespace

std::string HostFunctionAt(uint64_t address) {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void *>(address), &info) || !info.dli_fname)
    return {};
  const std::string mangled = info.dli_sname
                                  ? std::string(info.dli_sname)
                                  : SymbolAt(ReadFile(info.dli_fname),
                                             address - reinterpret_cast<uint64_t>(info.dli_fbase));
  int status = 0;
  std::unique_ptr<char, void (*)(void *)> name(
      abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : mangled;
}

} // namespace boardsim
