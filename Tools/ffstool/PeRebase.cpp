#include "PeRebase.h"

#include <cstring>
#include <string>

#include "FfsFile.h"
#include "PeImage.h"

namespace fwfile {
namespace {

constexpr std::size_t kNewHeaderPointer = 0x3C; // e_lfanew
constexpr std::size_t kOptionalHeader = 4 + 20; // from the PE signature
constexpr std::size_t kImageBasePe32 = 28;      // from the optional header
constexpr std::size_t kImageBasePe32Plus = 24;

template <typename T> T Load(std::span<const std::uint8_t> bytes, std::size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof(value));
  return value;
}

template <typename T> void Store(std::span<std::uint8_t> bytes, std::size_t at, T value) {
  std::memcpy(bytes.data() + at, &value, sizeof(value));
}

std::size_t ImageBaseOffset(std::span<const std::uint8_t> image, std::uint16_t magic) {
  return Load<std::uint32_t>(image, kNewHeaderPointer) + kOptionalHeader +
         (magic == imagecheck::kMagicPe32Plus ? kImageBasePe32Plus : kImageBasePe32);
}

} // namespace

std::uint64_t PeImageBase(std::span<const std::uint8_t> image) {
  return imagecheck::ParsePeImage(image).ImageBase;
}

void RebasePeImage(std::span<std::uint8_t> image, std::uint64_t newBase) {
  const imagecheck::PeImage pe = imagecheck::ParsePeImage(image);
  for (const imagecheck::Section &section : pe.Sections) {
    if (section.RawSize != 0 && section.RawPointer != section.VirtualAddress) {
      throw FfsError("section " + section.Name + " lies at file offset " +
                     std::to_string(section.RawPointer) + " but runs at RVA " +
                     std::to_string(section.VirtualAddress) +
                     ": the image cannot run in place; link it with /filealign equal to /align");
    }
  }
  const std::uint64_t delta = newBase - pe.ImageBase;
  for (const imagecheck::BaseRelocation &relocation : pe.Relocations) {
    const std::size_t at = relocation.Rva;
    if (relocation.Type == imagecheck::kRelocHighLow && at + 4 <= image.size()) {
      Store<std::uint32_t>(image, at,
                           static_cast<std::uint32_t>(Load<std::uint32_t>(image, at) + delta));
    } else if (relocation.Type == imagecheck::kRelocDir64 && at + 8 <= image.size()) {
      Store<std::uint64_t>(image, at, Load<std::uint64_t>(image, at) + delta);
    } else {
      throw FfsError("base relocation of type " + std::to_string(relocation.Type) + " at RVA " +
                     std::to_string(relocation.Rva) + " cannot be applied to the file");
    }
  }
  const std::size_t field = ImageBaseOffset(image, pe.Magic);
  if (pe.Magic == imagecheck::kMagicPe32Plus) {
    Store<std::uint64_t>(image, field, newBase);
  } else {
    Store<std::uint32_t>(image, field, static_cast<std::uint32_t>(newBase));
  }
}

} // namespace fwfile
