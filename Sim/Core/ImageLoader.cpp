#include "Core/ImageLoader.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <map>
#include <memory>
#include <stdexcept>
#include <unistd.h>

#ifndef BOARDSIM_DEFAULT_MODULE_DIR
#define BOARDSIM_DEFAULT_MODULE_DIR "modules"
#endif

namespace boardsim {
namespace {

namespace fs = std::filesystem;

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

struct SegmentScan {
  uintptr_t base;
  uintptr_t lo = UINTPTR_MAX, hi = 0;
  std::vector<std::pair<uintptr_t, uintptr_t>> writable;
  std::pair<uintptr_t, uintptr_t> relro{0, 0};
};

int ScanSegments(dl_phdr_info *info, size_t, void *data) {
  auto *scan = static_cast<SegmentScan *>(data);
  if (info->dlpi_addr != scan->base)
    return 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &ph = info->dlpi_phdr[i];
    uintptr_t begin = info->dlpi_addr + ph.p_vaddr, end = begin + ph.p_memsz;
    if (ph.p_type == PT_LOAD) {
      scan->lo = std::min(scan->lo, begin);
      scan->hi = std::max(scan->hi, end);
      if (ph.p_flags & PF_W)
        scan->writable.emplace_back(begin, end);
    } else if (ph.p_type == PT_GNU_RELRO) {
      scan->relro = {begin, end};
    }
  }
  return 1;
}

// The folder of this process's module copies. The copies stay for as long as the process runs,
// so that a sanitizer report can name module source lines; the folder goes when the process
// ends.
class TempFolder {
public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "boardsim-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("cannot create a temporary folder in " +
                               fs::temp_directory_path().string() +
                               " (set TMPDIR to a writable one)");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const std::string &path() const { return path_; }

private:
  std::string path_;
};

std::string TempDirectory() {
  static const TempFolder folder;
  return folder.path();
}

} // namespace

void LoadedImage::Reset() {
  size_t offset = 0;
  for (const Range &r : writable_) {
    CopyRaw(r.begin, snapshot_.data() + offset, r.size);
    offset += r.size;
  }
}

bool LoadedImage::DataChanged() const {
  size_t offset = 0;
  for (const Range &r : writable_) {
    if (!SameRaw(r.begin, snapshot_.data() + offset, r.size))
      return true;
    offset += r.size;
  }
  return false;
}

void *LoadedImage::Symbol(const char *name) const {
  return dlsym(handle_, name);
}

std::string ImageLoader::ModuleDirectory() {
  if (const char *dir = std::getenv("BOARDSIM_MODULE_DIR"))
    return dir;
  return BOARDSIM_DEFAULT_MODULE_DIR;
}

LoadedImage &ImageLoader::Acquire(const std::string &module, unsigned copy) {
  static std::map<std::pair<std::string, unsigned>, std::unique_ptr<LoadedImage>> loaded;
  auto &slot = loaded[{module, copy}];
  if (slot) {
    slot->Reset();
    return *slot;
  }
  fs::path source = fs::path(ModuleDirectory()) / (module + ".so");
  if (!fs::exists(source))
    throw std::runtime_error("module image " + source.string() +
                             " not found; build the project first, or point BOARDSIM_MODULE_DIR "
                             "at the folder that holds the module .so files");
  // dlopen returns the same object for the same path: each copy gets a path of its own.
  fs::path copyPath = fs::path(TempDirectory()) / (module + "." + std::to_string(copy) + ".so");
  fs::copy_file(source, copyPath, fs::copy_options::overwrite_existing);
  void *handle = dlopen(copyPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle)
    throw std::runtime_error(std::string("cannot load module image: ") + dlerror());

  auto image = std::make_unique<LoadedImage>();
  image->module_ = module;
  image->handle_ = handle;
  image->entry_ = dlsym(handle, "_ModuleEntryPoint");
  auto attach = reinterpret_cast<HOST_BACKEND_ATTACH>(dlsym(handle, kHostBackendAttachSymbol));
  if (!image->entry_ || !attach)
    throw std::runtime_error("module image " + source.string() +
                             " lacks _ModuleEntryPoint or HostBackendAttach");
  attach(&SimulatorBridge(), image.get());

  link_map *map = nullptr;
  dlinfo(handle, RTLD_DI_LINKMAP, &map);
  SegmentScan scan;
  scan.base = map->l_addr;
  dl_iterate_phdr(ScanSegments, &scan);
  image->lo_ = scan.lo;
  image->hi_ = scan.hi;
  for (auto [begin, end] : scan.writable) {
    // The part that relocation processing made read-only stays as it is.
    if (scan.relro.first <= begin && scan.relro.second > begin)
      begin = scan.relro.second;
    if (end > begin)
      image->writable_.push_back({reinterpret_cast<uint8_t *>(begin), size_t(end - begin)});
  }
  for (const auto &r : image->writable_) {
    size_t at = image->snapshot_.size();
    image->snapshot_.resize(at + r.size);
    CopyRaw(image->snapshot_.data() + at, r.begin, r.size);
  }
  slot = std::move(image);
  return *slot;
}

} // namespace boardsim
