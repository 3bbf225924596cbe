#include "Core/ImageLoader.h"

#include "Core/ImageAreas.h"
#include "Core/Memory.h"
#include "Core/ModuleListing.h"
#include "Core/Sanitizer.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <sys/mman.h>

#ifndef BOARDSIM_DEFAULT_MODULE_DIR
#define BOARDSIM_DEFAULT_MODULE_DIR "modules"
#endif

// The unwinder's registry of code placed outside the dynamic linker (libgcc): C++ exceptions that
// end a run (an error stop, a halt) unwind through module frames.
extern "C" void __register_frame(void *begin);
extern "C" void __deregister_frame(void *begin);

namespace boardsim {
namespace {

// Copies that are written by the simulator itself must bypass the sanitizer: module globals sit
// between the red zones AddressSanitizer keeps around them.
__attribute__((no_sanitize("address"))) void CopyRaw(uint8_t *to, const uint8_t *from, size_t n) {
  for (size_t i = 0; i < n; ++i)
    reinterpret_cast<volatile uint8_t *>(to)[i] = from[i];
}
__attribute__((no_sanitize("address"))) bool SameRaw(const uint8_t *a, const uint8_t *b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (reinterpret_cast<const volatile uint8_t *>(a)[i] != b[i])
      return false;
  return true;
}

void Protect(void *at, size_t size, int protection) {
  if (mprotect(at, size, protection) != 0)
    throw std::runtime_error("cannot set the page protection of a module image in board memory");
}

// Constructors and destructors as the C library's loader calls them.
using InitFunction = void (*)(int, char **, char **);
using FiniFunction = void (*)();

} // namespace

void LoadedImage::Reset() {
  size_t offset = 0;
  for (const HostModuleFile::Bytes &data : file_->Data()) {
    CopyRaw(reinterpret_cast<uint8_t *>(base_ + data.offset), snapshot_.data() + offset, data.size);
    offset += data.size;
  }
}

bool LoadedImage::DataChanged() const {
  size_t offset = 0;
  for (const HostModuleFile::Bytes &data : file_->Data()) {
    if (!SameRaw(reinterpret_cast<const uint8_t *>(base_ + data.offset), snapshot_.data() + offset,
                 data.size))
      return true;
    offset += data.size;
  }
  return false;
}

void *LoadedImage::Symbol(const char *name) const {
  const std::optional<uint64_t> offset = file_->Export(name);
  return offset ? reinterpret_cast<void *>(base_ + *offset) : nullptr;
}

std::string LoadedImage::FunctionAt(uint64_t address) const {
  return Contains(address) ? file_->FunctionAt(address - base_) : std::string();
}

void LoadedImage::Place(Memory &memory, uint64_t base) {
  if (placed_)
    memory.Overwrite({base_, Size()}); // evicts this image from where it was
  auto *bytes = reinterpret_cast<uint8_t *>(base);
  memory.Keep({base, Size()}, [this] { Evict(); });
  Unpoison(bytes, Size());
  file_->Place(bytes);
  for (const HostModuleFile::Pages &pages : file_->Protections())
    Protect(bytes + pages.offset, pages.size, pages.protection);
  if (file_->EhFrame())
    __register_frame(bytes + *file_->EhFrame());
  ListModule(base, reinterpret_cast<const ElfW(Phdr) *>(bytes + file_->ProgramHeaders()),
             file_->ProgramHeaderCount(), file_->Path().c_str());
  base_ = base;
  placed_ = true;

  if (file_->Init())
    reinterpret_cast<InitFunction>(bytes + *file_->Init())(0, nullptr, nullptr);
  const auto *inits = reinterpret_cast<const InitFunction *>(bytes + file_->InitArray().offset);
  for (size_t i = 0; i < file_->InitArray().size / sizeof(InitFunction); ++i)
    inits[i](0, nullptr, nullptr);

  entry_ = Symbol("_ModuleEntryPoint");
  auto attach = reinterpret_cast<HOST_BACKEND_ATTACH>(Symbol(kHostBackendAttachSymbol));
  if (!entry_ || !attach)
    throw std::runtime_error("module image " + file_->Path() +
                             " lacks _ModuleEntryPoint or HostBackendAttach");
  attach(&SimulatorBridge(), this);

  snapshot_.clear();
  for (const HostModuleFile::Bytes &data : file_->Data()) {
    const size_t at = snapshot_.size();
    snapshot_.resize(at + data.size);
    CopyRaw(snapshot_.data() + at, bytes + data.offset, data.size);
  }
}

// Undone in the reverse order of Place: the destructors (the sanitizer runtime forgets the
// module's globals), the unwind tables, the listing, the protections.
void LoadedImage::Evict() {
  auto *bytes = reinterpret_cast<uint8_t *>(base_);
  const auto *finis = reinterpret_cast<const FiniFunction *>(bytes + file_->FiniArray().offset);
  for (size_t i = file_->FiniArray().size / sizeof(FiniFunction); i-- > 0;)
    finis[i]();
  if (file_->Fini())
    reinterpret_cast<FiniFunction>(bytes + *file_->Fini())();
  if (file_->EhFrame())
    __deregister_frame(bytes + *file_->EhFrame());
  UnlistModule(base_);
  Protect(bytes, Size(), PROT_READ | PROT_WRITE);
  Unpoison(bytes, Size());
  placed_ = false;
}

std::string ImageLoader::ModuleDirectory() {
  if (const char *dir = std::getenv("BOARDSIM_MODULE_DIR"))
    return dir;
  return BOARDSIM_DEFAULT_MODULE_DIR;
}

LoadedImage &ImageLoader::Acquire(const std::string &module, unsigned copy, Memory &memory,
                                  uint64_t base) {
  static std::map<std::pair<std::string, unsigned>, std::unique_ptr<LoadedImage>> loaded;
  auto &image = loaded[{module, copy}];
  if (!image) {
    const std::string path = (std::filesystem::path(ModuleDirectory()) / (module + ".so")).string();
    const HostModuleFile &file = HostModuleFile::Get(path);
    if (file.Span() > kImageSpace)
      throw std::runtime_error("module image " + path + " needs " + std::to_string(file.Span()) +
                               " bytes of memory, more than the " + std::to_string(kImageSpace) +
                               " an image slot holds");
    image = std::make_unique<LoadedImage>();
    image->module_ = module;
    image->file_ = &file;
  }
  if (image->placed_ && image->base_ == base)
    image->Reset();
  else
    image->Place(memory, base);
  return *image;
}

} // namespace boardsim
