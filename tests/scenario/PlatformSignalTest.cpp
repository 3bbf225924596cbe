// The platform-signal arrival handler end to end: which network controller below the first
// onboard bridge decides, the two setup items it marks for each family, and when it runs.
#include "Scenario.h"

#include <string>
#include <vector>

namespace boardsim::testing {
namespace {

// The pairs of item codes: the code left out names the family found.
const std::vector<uint64_t> kI350 = {0x706, 0x707};
const std::vector<uint64_t> kX540Or82599 = {0x705, 0x707};
const std::vector<uint64_t> kOtherOrNone = {0x705, 0x706};

constexpr char kDispatchThenSignal[] = R"(
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
dxe_install = "PLATFORM_SIGNAL_PROTOCOL"
)";

// The codes of the items marked, in order; every mark names "Setup" and comes from the driver.
std::vector<uint64_t> MarkedCodes(const Scenario &run) {
  std::vector<uint64_t> codes;
  for (const Json &e : run.Of("mark_item")) {
    EXPECT_EQ(e["item_name"], "Setup");
    EXPECT_EQ(e["image"], kDxeDriver);
    codes.push_back(e["code"]);
  }
  return codes;
}

// The buses whose device 0, function 0 the handler asked for its class code.
std::vector<std::string> ClassReads(const Scenario &run) {
  std::vector<std::string> buses;
  for (const Json &e :
       run.Of("pci_cfg", AllOf({Field("image", kDxeDriver), Field("offset", 0x0B)}))) {
    EXPECT_EQ(e["width"], 8);
    buses.push_back(e["bdf"]);
  }
  return buses;
}

// A board whose first onboard bridge is 00:01.0 with buses `secondary` to `subordinate` below.
std::string BridgeBoard(int secondary, int subordinate, const std::string &devices) {
  return "[pcd]\nPcdNic1BridgeLocation = 0x0008\n[[pci]]\nbdf = \"00:01.0\"\nkind = "
         "\"bridge\"\nsecondary = " +
         std::to_string(secondary) + "\nsubordinate = " + std::to_string(subordinate) + "\n" +
         devices + kDispatchThenSignal;
}

std::string Nic(const std::string &bdf, int vendor, int device) {
  return "[[pci]]\nbdf = \"" + bdf + "\"\nkind = \"nic\"\nvendor = " + std::to_string(vendor) +
         "\ndevice = " + std::to_string(device) + "\n";
}

// ---------------------------------------------------------------------------------------------
// Classification

// The whole 32-bit ID decides: the same device ID under another vendor is "other".
TEST(PlatformSignalFamily, ControllerIdPicksThePairOfItems) {
  struct Case {
    const char *name;
    int vendor;
    int device;
    std::vector<uint64_t> codes;
  };
  const Case cases[] = {
      {"I350", 0x8086, 0x1521, kI350},
      {"X540", 0x8086, 0x1528, kX540Or82599},
      {"82599", 0x8086, 0x10FB, kX540Or82599},
      {"X710", 0x8086, 0x1572, kOtherOrNone},
      {"Broadcom with the I350's device ID", 0x14E4, 0x1521, kOtherOrNone},
      {"Mellanox with the X540's device ID", 0x15B3, 0x1528, kOtherOrNone},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Scenario run(BridgeBoard(1, 1, Nic("01:00.0", c.vendor, c.device)));
    EXPECT_EQ(MarkedCodes(run), c.codes);
    EXPECT_EQ(ClassReads(run), std::vector<std::string>{"01:00.0"});
  }
}

// Buses are scanned from the secondary upwards and the first network-class device 0, function 0
// decides, whatever comes after it; devices of another class are passed over, whatever their ID.
TEST(PlatformSignalFamily, FirstNetworkControllerInBusOrderDecides) {
  struct Case {
    const char *name;
    std::string devices;
    std::vector<uint64_t> codes;
    std::vector<std::string> scanned;
  };
  const Case cases[] = {
      {"other before I350",
       Nic("01:00.0", 0x8086, 0x1572) + Nic("02:00.0", 0x8086, 0x1521),
       kOtherOrNone,
       {"01:00.0"}},
      {"empty bus before I350",
       Nic("03:00.0", 0x8086, 0x1521),
       kI350,
       {"01:00.0", "02:00.0", "03:00.0"}},
      {"storage device with an I350 ID before X540",
       "[[pci]]\nbdf = \"01:00.0\"\nvendor = 0x8086\ndevice = 0x1521\nclass = 0x01\n" +
           Nic("02:00.0", 0x8086, 0x1528),
       kX540Or82599,
       {"01:00.0", "02:00.0"}},
      {"I350 not at function 0 of device 0",
       Nic("01:00.1", 0x8086, 0x1521) + Nic("01:01.0", 0x8086, 0x1521),
       kOtherOrNone,
       {"01:00.0", "02:00.0", "03:00.0"}},
      {"I350 past the subordinate bus",
       Nic("04:00.0", 0x8086, 0x1521),
       kOtherOrNone,
       {"01:00.0", "02:00.0", "03:00.0"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Scenario run(BridgeBoard(1, 3, c.devices));
    EXPECT_EQ(MarkedCodes(run), c.codes);
    EXPECT_EQ(ClassReads(run), c.scanned);
  }
}

// The scan stops at bus 255 and does not wrap; a controller on bus 255 counts as none. A bridge
// whose bus numbers both read 0xFF (also one that is not there) is not scanned at all.
TEST(PlatformSignalFamily, BusRangeEndsAtBus255) {
  struct Case {
    const char *name;
    std::string board;
    std::vector<uint64_t> codes;
    std::vector<std::string> scanned;
  };
  const Case cases[] = {
      {"I350 on bus 254",
       BridgeBoard(0xFE, 0xFF, Nic("fe:00.0", 0x8086, 0x1521)),
       kI350,
       {"fe:00.0"}},
      {"I350 on bus 255",
       BridgeBoard(0xFE, 0xFF, Nic("ff:00.0", 0x8086, 0x1521) + Nic("00:00.0", 0x8086, 0x1528)),
       kOtherOrNone,
       {"fe:00.0", "ff:00.0"}},
      {"bus numbers 0xFF",
       BridgeBoard(0xFF, 0xFF, Nic("ff:00.0", 0x8086, 0x1521)),
       kOtherOrNone,
       {}},
      {"no bridge",
       "[pcd]\nPcdNic1BridgeLocation = 0x0008\n" + Nic("ff:00.0", 0x8086, 0x1521) +
           kDispatchThenSignal,
       kOtherOrNone,
       {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Scenario run(c.board);
    EXPECT_EQ(MarkedCodes(run), c.codes);
    EXPECT_EQ(ClassReads(run), c.scanned);
  }
}

// ---------------------------------------------------------------------------------------------
// Which bridge

// Two candidate bridges: 00:00.0 leads to an I350, `bridge` to an X540.
std::string TwoBridges(const std::string &bridge) {
  return "[[pci]]\nbdf = \"00:00.0\"\nkind = \"bridge\"\nsecondary = 0x30\nsubordinate = "
         "0x30\n[[pci]]\nbdf = \"" +
         bridge + "\"\nkind = \"bridge\"\nsecondary = 0x40\nsubordinate = 0x40\n" +
         Nic("30:00.0", 0x8086, 0x1521) + Nic("40:00.0", 0x8086, 0x1528);
}

// The location in token 2 is translated like the MAC collection's but never rejected: 0 reads
// the bus numbers of 00:00.0, and 0x8888 is used as it is. Without PCD_PROTOCOL the token
// reads as 0.
TEST(PlatformSignalBridge, TokenTwoNamesTheBridgeAfterTranslation) {
  struct Case {
    const char *name;
    std::string settings;
    std::string bridge;
    std::vector<uint64_t> codes;
  };
  const Case cases[] = {
      {"location 0", "[pcd]\nPcdNic1BridgeLocation = 0\n", "00:01.0", kI350},
      {"location 0x8888 with groups of 16", "[pcd]\nPcdNic1BridgeLocation = 0x8888\n", "88:11.0",
       kX540Or82599},
      {"location 0x2100 with groups of 4",
       "[host]\nbus_group_size_minus_one = 3\n[pcd]\nPcdNic1BridgeLocation = 0x2100\n", "09:00.0",
       kX540Or82599},
      {"no PCD_PROTOCOL",
       "[services]\nPCD_PROTOCOL = false\n[pcd]\nPcdNic1BridgeLocation = 0x0008\n", "00:01.0",
       kI350},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Scenario run(c.settings + TwoBridges(c.bridge) + kDispatchThenSignal);
    EXPECT_EQ(MarkedCodes(run), c.codes);
    const std::string busesFrom = c.codes == kI350 ? "00:00.0" : c.bridge;
    for (int offset : {0x19, 0x1A}) {
      EXPECT_EQ(run.Of("pci_cfg", AllOf({Field("image", kDxeDriver), Field("bdf", busesFrom),
                                         Field("offset", offset), Field("width", 8)}))
                    .size(),
                1u)
          << "bus number at " << offset;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// When it runs

// Installations before the driver's entry go unseen; each one after it runs the handler again,
// at TPL_CALLBACK, marking both items each time. The arrival event outlives ready-to-boot.
TEST(PlatformSignalLifecycle, EveryLaterInstallationRunsTheHandler) {
  Scenario run(R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "01:00.0"
kind = "nic"
vendor = 0x8086
device = 0x1521
[[boot]]
dxe_install = "PLATFORM_SIGNAL_PROTOCOL"
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
dxe_install = "PLATFORM_SIGNAL_PROTOCOL"
[[boot]]
signal = "ready_to_boot"
[[boot]]
dxe_install = "PLATFORM_SIGNAL_PROTOCOL"
)");
  EXPECT_EQ(MarkedCodes(run), (std::vector<uint64_t>{0x706, 0x707, 0x706, 0x707}));

  const Json arrival = run.First("event_create", Field("group", nullptr));
  ASSERT_FALSE(arrival.is_null());
  EXPECT_EQ(arrival["tpl"], 8);
  const std::vector<Json> runs = run.Of("notify", Field("event", arrival["event"]));
  ASSERT_EQ(runs.size(), 2u);

  // Each pair of marks follows its own installation, after the driver has registered.
  const std::vector<Json> installs =
      run.Of("protocol_install", Field("name", "PLATFORM_SIGNAL_PROTOCOL"));
  const std::vector<Json> marks = run.Of("mark_item");
  ASSERT_EQ(installs.size(), 3u);
  ASSERT_EQ(marks.size(), 4u);
  EXPECT_LT(installs[0]["seq"], run.First("protocol_notify")["seq"]);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_LT(installs[i + 1]["seq"], runs[i]["seq"]);
    EXPECT_LT(runs[i]["seq"], marks[2 * i]["seq"]);
    EXPECT_LT(marks[2 * i + 1]["seq"],
              i + 2 < installs.size() ? installs[i + 2]["seq"] : run.final()["seq"]);
  }
}

// Without the setup item service the handler gives up before touching anything; a later signal,
// once the service is there, marks the items.
TEST(PlatformSignalLifecycle, MissingSetupItemServiceIsTriedAgainNextTime) {
  Scenario run(R"(
[services]
SETUP_ITEM_PROTOCOL = false
[pcd]
PcdNic1BridgeLocation = 0x0008
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "01:00.0"
kind = "nic"
vendor = 0x8086
device = 0x1528
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
dxe_install = "PLATFORM_SIGNAL_PROTOCOL"
[[boot]]
dxe_install = "SETUP_ITEM_PROTOCOL"
[[boot]]
dxe_install = "PLATFORM_SIGNAL_PROTOCOL"
)");
  EXPECT_EQ(MarkedCodes(run), kX540Or82599);
  const std::vector<Json> locates = run.Of(
      "protocol_locate", AllOf({Field("image", kDxeDriver), Field("name", "SETUP_ITEM_PROTOCOL")}));
  ASSERT_EQ(locates.size(), 2u);
  EXPECT_EQ(locates[0]["status"], "EFI_NOT_FOUND");
  EXPECT_EQ(locates[1]["status"], "EFI_SUCCESS");

  // Between the first run and the service's arrival the driver read no token and no register.
  const long serviceArrives = run.IndexOf("protocol_install", Field("name", "SETUP_ITEM_PROTOCOL"));
  const long entry = run.IndexOf("entry");
  for (const char *ev : {"pcd_get", "pci_cfg"}) {
    for (const Json &e : run.Of(ev, Field("image", kDxeDriver))) {
      const long seq = e["seq"];
      EXPECT_FALSE(seq > entry && seq < serviceArrives) << ev << " at " << seq;
    }
  }
}

} // namespace
} // namespace boardsim::testing
