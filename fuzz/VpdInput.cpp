#include "Targets.h"

#include "Devices/NicModels.h"

namespace boardsim::fuzz {
namespace {

// The input is the VPD store of every Mellanox NIC on the base board (padded or cut to the
// store's 256 bytes, as `vpd_raw` is).
void Apply(ByteReader &input, Board &board) {
  Bytes image = input.TakeBytes(kVpdImageSize);
  image.resize(kVpdImageSize, 0);
  for (PciFunction &function : board.pci) {
    if (function.kind == PciKind::Nic && function.model == NicModel::Mellanox) {
      function.vpd.reset();
      function.vpd_raw = image;
    }
  }
}

void Seeds(std::string_view, const Board &board, std::vector<Bytes> &out) {
  for (const PciFunction &function : board.pci)
    if (function.kind == PciKind::Nic && function.model == NicModel::Mellanox)
      out.push_back(VpdStore(function));
}

} // namespace

const Target kVpdTarget{"vpd", "dxe-mellanox.toml", Apply, Seeds};

} // namespace boardsim::fuzz
