// A host build of a module (an x86-64 ELF shared object from the host-module build), read once per
// process so that boardsim can load it itself, as many times as a board dispatches the module:
// each image instance is placed in board memory at the address of its slot, where a platform
// would load it, and relocated for that address. What the module imports (the sanitizer
// runtimes, the C library's memory routines) comes from this process.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

class HostModuleFile {
public:
  // The file at `path`, read and checked; cached for the process. Throws std::runtime_error (a
  // user-facing message naming the file) when it is missing or is not a module this loader can
  // place.
  static const HostModuleFile &Get(const std::string &path);

  const std::string &Path() const { return path_; }
  // Bytes from the start of the first loadable segment to the page after the last one.
  uint64_t Span() const { return span_; }

  // Copies the loadable segments to `base` (Span() bytes, page-aligned; bytes no segment holds
  // are zero) and relocates them for that address.
  void Place(uint8_t *base) const;

  // Page runs of the placed image with the protection they keep once relocated (PROT_* flags).
  struct Pages {
    uint64_t offset, size;
    int protection;
  };
  const std::vector<Pages> &Protections() const { return protections_; }
  // The module's data: writable segments, less what relocation leaves read-only.
  struct Bytes {
    uint64_t offset, size;
  };
  const std::vector<Bytes> &Data() const { return data_; }

  // Offset of a symbol the module exports, or nullopt.
  std::optional<uint64_t> Export(std::string_view name) const;
  // The demangled name of the function whose code holds `offset`, or empty.
  std::string FunctionAt(uint64_t offset) const;

  // Where the placed image keeps what a loader runs and registers: offsets into the image.
  uint64_t ProgramHeaders() const { return programHeaders_; }
  unsigned ProgramHeaderCount() const { return programHeaderCount_; }
  std::optional<uint64_t> Init() const { return init_; }
  std::optional<uint64_t> Fini() const { return fini_; }
  Bytes InitArray() const { return initArray_; }
  Bytes FiniArray() const { return finiArray_; }
  std::optional<uint64_t> EhFrame() const { return ehFrame_; } // the .eh_frame section

private:
  explicit HostModuleFile(std::string path);
  void ReadSegments();
  void ReadDynamic();
  template <typename T> T ReadVirtual(uint64_t vaddr) const;
  [[noreturn]] void Refuse(const std::string &problem) const;

  std::string path_;
  std::vector<char> file_;
  uint64_t span_ = 0;
  struct Segment {
    uint64_t vaddr, fileOffset, fileSize, memSize;
  };
  std::vector<Segment> segments_;
  std::vector<Pages> protections_;
  std::vector<Bytes> data_;
  // One 64-bit store per relocation: the image's base plus `value`, or `value` itself.
  struct Fixup {
    uint64_t offset;
    uint64_t value;
    bool addBase;
  };
  std::vector<Fixup> fixups_;
  uint64_t dynamic_ = 0;
  uint64_t programHeaders_ = 0;
  unsigned programHeaderCount_ = 0;
  std::optional<uint64_t> init_, fini_, ehFrame_;
  Bytes initArray_{}, finiArray_{};
};

} // namespace boardsim
