#include "Board/BoardSections.h"
#include "Board/BoardText.h"
#include "Board/NumberFormat.h"

#include <cstdio>
#include <map>

namespace boardsim {

namespace {

constexpr std::string_view kKindNames[] = {"device", "bridge", "nic"};
constexpr PciKind kPciKinds[] = {PciKind::Device, PciKind::Bridge, PciKind::Nic};

constexpr std::string_view kModelNames[] = {"generic", "intel700", "broadcom", "mellanox"};
constexpr NicModel kModels[] = {NicModel::Generic, NicModel::Intel700, NicModel::Broadcom,
                                NicModel::Mellanox};

struct PciIds {
  uint16_t vendor;
  uint16_t device;
};
constexpr PciIds DefaultIds(NicModel model) {
  switch (model) {
  case NicModel::Intel700:
    return {0x8086, 0x1572};
  case NicModel::Broadcom:
    return {0x14E4, 0x16D8};
  case NicModel::Mellanox:
    return {0x15B3, 0x1017};
  case NicModel::Generic:
    break;
  }
  return {0x8086, 0x1521};
}

constexpr uint8_t DefaultClass(PciKind kind) {
  switch (kind) {
  case PciKind::Nic:
    return 0x02;
  case PciKind::Bridge:
    return 0x06;
  case PciKind::Device:
    break;
  }
  return 0xFF;
}

std::string BdfText(const Bdf &bdf) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x:%02x.%x", bdf.bus, bdf.device, bdf.function);
  return text;
}

// True when the entry holds a valid address.
bool ReadBdf(TableReader &entry, PciFunction &pci) {
  const std::string hint = "write the address as \"bb:dd.f\" with bus and device in hex, e.g. "
                           "\"01:1c.0\"";
  if (!entry.Require("bdf", hint))
    return false;
  std::string text;
  entry.String("bdf", text);
  if (!entry.Find("bdf")->is_string())
    return false;
  auto bdf = ParseBdf(text);
  if (!bdf.value) {
    entry.reader().Report(entry.Find("bdf")->source(), entry.KeyPath("bdf"),
                          "bad PCI address: " + bdf.problem, hint);
    return false;
  }
  pci.bdf = *bdf.value;
  return true;
}

void ReadMac(TableReader &entry, PciFunction &pci) {
  std::optional<std::vector<uint8_t>> mac;
  entry.Bytes("mac", mac);
  if (!mac)
    return;
  if (mac->size() != 6) {
    entry.reader().Report(entry.Find("mac")->source(), entry.KeyPath("mac"),
                          "a MAC address has 6 bytes, this one has " + std::to_string(mac->size()),
                          "write it as 12 hex digits, e.g. \"00:02:C9:AB:CD:EF\"");
    return;
  }
  pci.mac.emplace();
  std::copy(mac->begin(), mac->end(), pci.mac->begin());
}

void ReadVpdKeywords(TableReader &entry, PciFunction &pci) {
  const toml::array *array = entry.Array("vpd");
  if (array == nullptr)
    return;
  BoardReader &reader = entry.reader();
  const std::string hint = "write each keyword as a pair, e.g. vpd = [[\"VA\", \"2\"], [\"V2\", "
                           "\"0002C9ABCDEF\"]]";
  std::vector<VpdKeyword> keywords;
  bool allValid = true;
  for (size_t i = 0; i < array->size(); ++i) {
    const std::string path = entry.KeyPath("vpd") + "[" + std::to_string(i) + "]";
    const toml::array *pair = (*array)[i].as_array();
    if (pair == nullptr || pair->size() != 2 || !(*pair)[0].is_string() ||
        !(*pair)[1].is_string()) {
      reader.Report((*array)[i].source(), path, "expected a [keyword, value] pair of strings",
                    hint);
      allValid = false;
      continue;
    }
    VpdKeyword keyword{(*pair)[0].as_string()->get(), (*pair)[1].as_string()->get()};
    // PCI VPD keywords are two characters followed by a one-byte length.
    if (keyword.keyword.size() != 2) {
      reader.Report((*pair)[0].source(), path,
                    "VPD keyword \"" + keyword.keyword + "\" is not two characters long",
                    "VPD keywords are two characters, e.g. \"V2\"");
      allValid = false;
    } else if (keyword.value.size() > 0xFF) {
      reader.Report((*pair)[1].source(), path,
                    "VPD value of " + std::to_string(keyword.value.size()) +
                        " characters is longer than 255",
                    "shorten the value; its length must fit in one byte");
      allValid = false;
    }
    keywords.push_back(std::move(keyword));
  }
  if (allValid)
    pci.vpd = std::move(keywords);
}

void ReadVpdRaw(TableReader &entry, PciFunction &pci) {
  entry.Bytes("vpd_raw", pci.vpd_raw);
  if (!pci.vpd_raw)
    return;
  if (pci.vpd_raw->size() > kVpdImageSize) {
    entry.reader().Report(entry.Find("vpd_raw")->source(), entry.KeyPath("vpd_raw"),
                          "the VPD image is " + std::to_string(pci.vpd_raw->size()) +
                              " bytes long; it holds " + std::to_string(kVpdImageSize),
                          "give at most 256 bytes; shorter images are padded with 0");
    return;
  }
  pci.vpd_raw->resize(kVpdImageSize, 0);
}

void ReadOverrides(TableReader &entry, PciFunction &pci) {
  BoardReader &reader = entry.reader();
  for (const NumberedEntry &byte : entry.NumberedTable("config", 0xFFF, "config offset")) {
    if (auto value = reader.Unsigned(*byte.value, byte.key, 0, 0xFF)) {
      pci.config[static_cast<uint16_t>(byte.number)] = static_cast<uint8_t>(*value);
    }
  }
  for (const NumberedEntry &range : entry.NumberedTable("mmio", UINT32_MAX, "BAR0 offset")) {
    if (auto bytes = reader.Bytes(*range.value, range.key)) {
      pci.mmio[static_cast<uint32_t>(range.number)] = std::move(*bytes);
    }
  }
}

// Keys that only make sense for some kinds or models.
void CheckKindRules(TableReader &entry, const PciFunction &pci) {
  BoardReader &reader = entry.reader();
  if (pci.kind != PciKind::Nic) {
    for (std::string_view key : {"model", "mac"}) {
      if (const toml::node *node = entry.Find(key)) {
        reader.Report(node->source(), entry.KeyPath(key),
                      "`" + std::string(key) + "` applies only to network controllers",
                      "add kind = \"nic\" or remove `" + std::string(key) + "`");
      }
    }
  } else if (pci.model == NicModel::Mellanox && pci.mac) {
    reader.Report(entry.Find("mac")->source(), entry.KeyPath("mac"),
                  "a mellanox controller keeps its address in VPD, not in `mac`",
                  "give the address as a VPD keyword, e.g. vpd = [[\"VA\", \"1\"], [\"V2\", "
                  "\"0002C9ABCDEF\"]]");
  }
  if (pci.kind == PciKind::Bridge) {
    for (std::string_view key : {"secondary", "subordinate"}) {
      if (entry.Find(key) == nullptr) {
        reader.Report(entry.source(), entry.KeyPath(key),
                      "a bridge needs `" + std::string(key) + "`",
                      "give its bus number, e.g. " + std::string(key) + " = 1");
      }
    }
  }
  if (pci.vpd && pci.vpd_raw) {
    reader.Report(entry.Find("vpd_raw")->source(), entry.KeyPath("vpd_raw"),
                  "`vpd` and `vpd_raw` both describe the VPD image",
                  "keep `vpd` for keywords or `vpd_raw` for the whole image, not both");
  }
  if (pci.bar0 && (*pci.bar0 & 0xF) != 0) {
    reader.Report(entry.Find("bar0")->source(), entry.KeyPath("bar0"),
                  "BAR0 base " + Hex(*pci.bar0) + " has bits 3..0 set",
                  "give a 16-byte aligned base; bits 3..0 of a memory BAR are its flags");
  }
}

// True when the entry has a valid address.
bool ReadPciEntry(TableReader &entry, PciFunction &pci) {
  pci.line = entry.source().begin.line;
  const bool hasBdf = ReadBdf(entry, pci);
  if (auto kind = entry.Choice("kind", kKindNames))
    pci.kind = kPciKinds[*kind];
  if (auto model = entry.Choice("model", kModelNames))
    pci.model = kModels[*model];
  const PciIds ids = DefaultIds(pci.model);
  pci.vendor = ids.vendor;
  pci.device = ids.device;
  pci.class_code = DefaultClass(pci.kind);
  entry.Unsigned("vendor", pci.vendor);
  entry.Unsigned("device", pci.device);
  entry.Unsigned("class", pci.class_code);
  entry.Unsigned("secondary", pci.secondary);
  entry.Unsigned("subordinate", pci.subordinate);
  ReadMac(entry, pci);
  entry.Unsigned("bar0", pci.bar0);
  ReadVpdKeywords(entry, pci);
  ReadVpdRaw(entry, pci);
  entry.CountOrNever("vpd_ready_after", pci.vpd_ready_after);
  entry.Unsigned("vpd_ready_after_us", pci.vpd_ready_after_us);
  entry.UnsignedArray("capabilities", pci.capabilities);
  ReadOverrides(entry, pci);
  entry.RejectUnknownKeys();
  CheckKindRules(entry, pci);
  return hasBdf;
}

} // namespace

void ReadPciSection(TableReader &root, Board &board) {
  std::map<Bdf, uint32_t> lineOf;
  for (TableReader &entry : root.TableArray("pci")) {
    PciFunction pci;
    if (ReadPciEntry(entry, pci)) {
      auto [it, inserted] = lineOf.emplace(pci.bdf, pci.line);
      if (!inserted) {
        entry.reader().Report(entry.Find("bdf")->source(), entry.KeyPath("bdf"),
                              BdfText(pci.bdf) + " is already described",
                              "the first entry is at line " + std::to_string(it->second) +
                                  "; merge the two entries");
      }
    }
    board.pci.push_back(std::move(pci));
  }
}

} // namespace boardsim
