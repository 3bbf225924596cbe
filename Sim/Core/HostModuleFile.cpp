#include "Core/HostModuleFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <sys/mman.h>

namespace boardsim {
namespace {

constexpr uint64_t kLoadPage = 0x1000;

uint64_t PageDown(uint64_t value) {
  return value & ~(kLoadPage - 1);
}
uint64_t PageUp(uint64_t value) {
  return PageDown(value + kLoadPage - 1);
}

int Protection(uint32_t flags) {
  return (flags & PF_R ? PROT_READ : 0) | (flags & PF_W ? PROT_WRITE : 0) |
         (flags & PF_X ? PROT_EXEC : 0);
}

// The x86-64 thread pointer (FS base), which the C library keeps at %fs:0 as well.
uint64_t ThreadPointer() {
  uint64_t pointer;
  asm("mov %%fs:0, %0" : "=r"(pointer));
  return pointer;
}

// DWARF pointer encoding of .eh_frame_hdr's eh_frame_ptr that linkers write: 4-byte signed,
// relative to where it is stored.
constexpr uint8_t kPcRelativeSigned4 = 0x1B;

} // namespace

const HostModuleFile &HostModuleFile::Get(const std::string &path) {
  static std::map<std::string, std::unique_ptr<HostModuleFile>> files;
  auto &file = files[path];
  if (!file)
    file.reset(new HostModuleFile(path));
  return *file;
}

void HostModuleFile::Refuse(const std::string &problem) const {
  throw std::runtime_error("cannot load module image " + path_ + ": " + problem +
                           "; rebuild it with the project's host-module build");
}

HostModuleFile::HostModuleFile(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary | std::ios::ate);
  if (!in)
    throw std::runtime_error("module image " + path_ +
                             " not found; build the project first, or point BOARDSIM_MODULE_DIR "
                             "at the folder that holds the module .so files");
  // One read of the whole file: every boot of a fresh process loads the three modules.
  file_.resize(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(file_.data(), static_cast<std::streamsize>(file_.size())))
    Refuse("it could not be read");
  ReadSegments();
  ReadDynamic();
}

void HostModuleFile::ReadSegments() {
  Elf64_Ehdr header;
  if (file_.size() < sizeof header)
    Refuse("it is too short for an ELF file");
  std::memcpy(&header, file_.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_machine != EM_X86_64 || header.e_type != ET_DYN)
    Refuse("it is not an x86-64 ELF shared object");
  if (header.e_phentsize != sizeof(Elf64_Phdr) ||
      header.e_phoff + uint64_t(header.e_phnum) * sizeof(Elf64_Phdr) > file_.size())
    Refuse("its program headers lie outside the file");
  std::vector<Elf64_Phdr> headers(header.e_phnum);
  std::memcpy(headers.data(), file_.data() + header.e_phoff, headers.size() * sizeof(Elf64_Phdr));

  std::map<uint64_t, int> pageProtection;
  std::pair<uint64_t, uint64_t> relro{0, 0};
  std::optional<Elf64_Phdr> frameHeader;
  for (const Elf64_Phdr &ph : headers) {
    switch (ph.p_type) {
    case PT_LOAD:
      if (ph.p_filesz > ph.p_memsz || ph.p_offset + ph.p_filesz > file_.size() ||
          ph.p_vaddr % kLoadPage != ph.p_offset % kLoadPage)
        Refuse("a loadable segment does not fit its file or its page");
      segments_.push_back({ph.p_vaddr, ph.p_offset, ph.p_filesz, ph.p_memsz});
      span_ = std::max(span_, PageUp(ph.p_vaddr + ph.p_memsz));
      for (uint64_t page = PageDown(ph.p_vaddr); page < ph.p_vaddr + ph.p_memsz; page += kLoadPage)
        pageProtection[page] |= Protection(ph.p_flags);
      if (ph.p_flags & PF_W)
        data_.push_back({ph.p_vaddr, ph.p_memsz});
      break;
    case PT_DYNAMIC:
      dynamic_ = ph.p_vaddr;
      break;
    case PT_GNU_RELRO:
      relro = {ph.p_vaddr, ph.p_vaddr + ph.p_memsz};
      break;
    case PT_GNU_EH_FRAME:
      frameHeader = ph;
      break;
    case PT_TLS:
      Refuse("it has thread-local storage");
    case PT_PHDR:
      programHeaders_ = ph.p_vaddr;
      programHeaderCount_ = header.e_phnum;
      break;
    default:
      break;
    }
  }
  if (segments_.empty() || segments_.front().vaddr != 0 || dynamic_ == 0)
    Refuse("it has no loadable segment at offset 0 or no dynamic section");
  if (programHeaderCount_ == 0) {
    // The first segment maps the file's start, program headers included.
    programHeaders_ = header.e_phoff;
    programHeaderCount_ = header.e_phnum;
  }

  // What relocation leaves read-only: whole pages of the RELRO range, as the C library's loader
  // protects them.
  const uint64_t relroBegin = PageDown(relro.first), relroEnd = PageDown(relro.second);
  for (auto &[page, protection] : pageProtection)
    if (page >= relroBegin && page < relroEnd)
      protection &= ~PROT_WRITE;
  for (auto [page, protection] : pageProtection) {
    if (!protections_.empty() && protections_.back().protection == protection &&
        protections_.back().offset + protections_.back().size == page)
      protections_.back().size += kLoadPage;
    else
      protections_.push_back({page, kLoadPage, protection});
  }
  for (Bytes &data : data_) {
    const uint64_t end = data.offset + data.size;
    if (relro.first <= data.offset && relro.second > data.offset)
      data.offset = std::min(relro.second, end);
    data.size = end - data.offset;
  }
  std::erase_if(data_, [](const Bytes &data) { return data.size == 0; });

  if (frameHeader) {
    uint8_t encoding[4];
    int32_t relative;
    if (frameHeader->p_offset + 8 > file_.size())
      Refuse("its unwind table header lies outside the file");
    std::memcpy(encoding, file_.data() + frameHeader->p_offset, sizeof encoding);
    std::memcpy(&relative, file_.data() + frameHeader->p_offset + 4, sizeof relative);
    if (encoding[0] != 1 || encoding[1] != kPcRelativeSigned4)
      Refuse("its unwind table header is of an unknown form");
    ehFrame_ = frameHeader->p_vaddr + 4 + relative;
  }
}

// A T at a virtual address of the image, read from the file; refused when no segment holds it.
template <typename T> T HostModuleFile::ReadVirtual(uint64_t vaddr) const {
  for (const Segment &s : segments_)
    if (vaddr >= s.vaddr && vaddr - s.vaddr <= s.fileSize &&
        s.fileSize - (vaddr - s.vaddr) >= sizeof(T)) {
      T out;
      std::memcpy(&out, file_.data() + s.fileOffset + (vaddr - s.vaddr), sizeof(T));
      return out;
    }
  Refuse("its dynamic section points outside the file");
}

void HostModuleFile::ReadDynamic() {
  std::map<int64_t, uint64_t> entries;
  for (uint64_t at = dynamic_;; at += sizeof(Elf64_Dyn)) {
    const auto entry = ReadVirtual<Elf64_Dyn>(at);
    if (entry.d_tag == DT_NULL)
      break;
    entries[entry.d_tag] = entry.d_un.d_val;
  }
  if (entries.contains(DT_TEXTREL) || entries.contains(DT_RELR) ||
      (entries.contains(DT_PLTREL) && entries[DT_PLTREL] != DT_RELA))
    Refuse("it needs relocations of a kind this loader does not apply");
  if (entries.contains(DT_INIT))
    init_ = entries[DT_INIT];
  if (entries.contains(DT_FINI))
    fini_ = entries[DT_FINI];
  initArray_ = {entries[DT_INIT_ARRAY], entries[DT_INIT_ARRAYSZ]};
  finiArray_ = {entries[DT_FINI_ARRAY], entries[DT_FINI_ARRAYSZ]};

  const uint64_t symbols = entries[DT_SYMTAB], strings = entries[DT_STRTAB];
  const uint64_t stringsSize = entries[DT_STRSZ];
  auto fixups = [&](uint64_t begin, uint64_t size) {
    for (uint64_t at = begin; at < begin + size; at += sizeof(Elf64_Rela)) {
      const auto rela = ReadVirtual<Elf64_Rela>(at);
      const uint32_t type = ELF64_R_TYPE(rela.r_info);
      if (type == R_X86_64_NONE)
        continue;
      if (rela.r_offset + 8 > span_)
        Refuse("a relocation lies outside the image");
      if (type == R_X86_64_RELATIVE) {
        fixups_.push_back({rela.r_offset, uint64_t(rela.r_addend), true});
        continue;
      }
      if (type != R_X86_64_64 && type != R_X86_64_GLOB_DAT && type != R_X86_64_JUMP_SLOT &&
          type != R_X86_64_TPOFF64)
        Refuse("it needs relocation type " + std::to_string(type));
      const bool threadLocal = type == R_X86_64_TPOFF64;
      const uint64_t addend = type == R_X86_64_64 || threadLocal ? uint64_t(rela.r_addend) : 0;
      auto symbol = ReadVirtual<Elf64_Sym>(symbols + ELF64_R_SYM(rela.r_info) * sizeof(Elf64_Sym));
      if (threadLocal && symbol.st_shndx != SHN_UNDEF)
        Refuse("it has thread-local storage");
      if (symbol.st_shndx != SHN_UNDEF) {
        fixups_.push_back({rela.r_offset, symbol.st_value + addend, true});
        continue;
      }
      std::string name;
      for (uint64_t at = symbol.st_name; at < stringsSize; ++at) {
        const char c = ReadVirtual<char>(strings + at);
        if (c == '\0')
          break;
        name += c;
      }
      void *resolved = dlsym(RTLD_DEFAULT, name.c_str());
      if (!resolved && ELF64_ST_BIND(symbol.st_info) != STB_WEAK)
        Refuse("it needs " + name +
               ", which this process does not have (a module built with "
               "sanitizers needs a boardsim built with them)");
      // A thread-local variable of the process (the fuzzing instrumentation's stack depth) in its
      // static TLS block: the module reaches it at this offset from the thread pointer, which is
      // the same offset in every thread.
      const uint64_t value = reinterpret_cast<uint64_t>(resolved) + addend -
                             (threadLocal && resolved ? ThreadPointer() : 0);
      fixups_.push_back({rela.r_offset, value, false});
    }
  };
  fixups(entries[DT_RELA], entries[DT_RELASZ]);
  fixups(entries[DT_JMPREL], entries[DT_PLTRELSZ]);
}

void HostModuleFile::Place(uint8_t *base) const {
  std::memset(base, 0, span_);
  for (const Segment &s : segments_)
    std::memcpy(base + s.vaddr, file_.data() + s.fileOffset, s.fileSize);
  for (const Fixup &fixup : fixups_) {
    const uint64_t value =
        fixup.addBase ? reinterpret_cast<uint64_t>(base) + fixup.value : fixup.value;
    std::memcpy(base + fixup.offset, &value, sizeof value);
  }
}

namespace {

// A copy of a T at `offset` of `bytes`, if it lies there whole.
template <typename T> bool ReadAt(const std::vector<char> &bytes, uint64_t offset, T &out) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
    return false;
  std::memcpy(&out, bytes.data() + offset, sizeof(T));
  return true;
}

// Walks the symbols of every section of `type` (SHT_SYMTAB, SHT_DYNSYM) until `visit` returns
// true; `visit` gets the symbol and its name.
template <typename Visit>
void ForEachSymbol(const std::vector<char> &elf, uint32_t type, Visit visit) {
  Elf64_Ehdr header;
  if (!ReadAt(elf, 0, header))
    return;
  for (unsigned i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr symbols, strings;
    if (!ReadAt(elf, header.e_shoff + uint64_t(i) * sizeof(Elf64_Shdr), symbols))
      return;
    if (symbols.sh_type != type ||
        !ReadAt(elf, header.e_shoff + uint64_t(symbols.sh_link) * sizeof(Elf64_Shdr), strings))
      continue;
    for (uint64_t at = 0; at + sizeof(Elf64_Sym) <= symbols.sh_size; at += sizeof(Elf64_Sym)) {
      Elf64_Sym symbol;
      if (!ReadAt(elf, symbols.sh_offset + at, symbol) || symbol.st_name >= strings.sh_size)
        continue;
      const uint64_t name = strings.sh_offset + symbol.st_name;
      if (name >= elf.size())
        continue;
      if (visit(symbol,
                std::string_view(elf.data() + name, strnlen(elf.data() + name, elf.size() - name))))
        return;
    }
  }
}

} // namespace

std::optional<uint64_t> HostModuleFile::Export(std::string_view name) const {
  std::optional<uint64_t> found;
  ForEachSymbol(file_, SHT_DYNSYM, [&](const Elf64_Sym &symbol, std::string_view symbolName) {
    if (symbol.st_shndx == SHN_UNDEF || symbolName != name)
      return false;
    found = symbol.st_value;
    return true;
  });
  return found;
}

std::string HostModuleFile::FunctionAt(uint64_t offset) const {
  std::string mangled;
  ForEachSymbol(file_, SHT_SYMTAB, [&](const Elf64_Sym &symbol, std::string_view name) {
    if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || offset < symbol.st_value ||
        offset - symbol.st_value >= symbol.st_size)
      return false;
    mangled = name;
    return true;
  });
  int status = 0;
  std::unique_ptr<char, void (*)(void *)> demangled(
      abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status), std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : mangled;
}

} // namespace boardsim
