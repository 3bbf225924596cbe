// The board probe that runs when the host SMBus service arrives: the wait for the BMC, the
// bounded device probe over the bus selector, and the two PCD values it publishes.
#include "Scenario.h"

#include <cstdio>

namespace boardsim::testing {
namespace {

constexpr char kSmbusArrivesAfterDispatch[] = R"(
[[boot]]
dispatch = "BoardInfoPei"
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
)";

constexpr char kProbeCallback[] = "EFI_PEI_SMBUS2_PPI";
constexpr uint64_t kBmcRetryStallUs = 100000;

std::string Register0(int value) {
  return "regs = { 0 = " + std::to_string(value) + " }";
}

// The selector and the three input devices, answering X, Y and Z; `absent` names one that is
// described but does not answer.
std::string InputDevices(int x, int y, int z, int absent = -1) {
  auto device = [absent](int address, const std::string &regs) {
    return SmbusDevice(address, address == absent ? "present = false" : regs);
  };
  return device(0x71, "") + device(0x3A, Register0(x)) + device(0x3B, Register0(y)) +
         device(0x3E, Register0(z));
}

// The events of the probe's one run, from the callback's start to its return.
std::vector<Json> ProbeRun(const Scenario &run) {
  long begin = run.IndexOf("notify", Field("name", kProbeCallback));
  long end = run.IndexOf("notify_return", Field("name", kProbeCallback));
  EXPECT_GE(begin, 0) << "the SMBus arrival callback never ran";
  EXPECT_GT(end, begin);
  if (begin < 0 || end < begin)
    return {};
  EXPECT_EQ(run.Of("notify", Field("name", kProbeCallback)).size(), 1u);
  return {run.events().begin() + begin, run.events().begin() + end + 1};
}

// One line per SMBus transaction: "write 71/00 10", "read 3a/00 = a5", "read 3e/00 failed".
std::vector<std::string> BusLog(const std::vector<Json> &events) {
  std::vector<std::string> lines;
  for (const Json &e : Only(events, "smbus")) {
    bool write = e["op"] == "write_byte";
    bool ok = e["status"] == "EFI_SUCCESS";
    std::string line = std::string(write ? "write " : "read ") + HexByte(e["address"]) + "/" +
                       HexByte(e["command"]);
    if (write)
      line += " " + HexByte(e["data"]);
    if (!ok)
      line += " failed";
    else if (!write)
      line += " = " + HexByte(e["data"]);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Repeated(const std::vector<std::string> &block, int times) {
  std::vector<std::string> all;
  for (int i = 0; i < times; ++i)
    all.insert(all.end(), block.begin(), block.end());
  return all;
}

// "token = 0xvalue/width" for each PCD write.
std::vector<std::string> PcdWrites(const std::vector<Json> &events) {
  std::vector<std::string> writes;
  for (const Json &e : Only(events, "pcd_set"))
    writes.push_back(std::to_string(e["token"].get<uint64_t>()) + " = 0x" + HexByte(e["value"]) +
                     "/" + std::to_string(e["width"].get<int>()));
  return writes;
}

std::string InputWord(uint32_t value) {
  return "195 = 0x" + HexByte(value) + "/32";
}
std::string InputField(uint32_t value) {
  return "196 = 0x" + HexByte(value) + "/8";
}

const std::vector<std::string> kDefaults = {InputWord(0x247), InputField(2)};

TEST(SmbusProbe, AnsweringBoardPublishesWorkedValuesWithoutWaiting) {
  Scenario run(InputDevices(0xA5, 0x3C, 0x28) + kSmbusArrivesAfterDispatch);
  std::vector<Json> probe = ProbeRun(run);

  std::vector<std::string> located;
  for (const Json &e : Only(probe, "ppi_locate"))
    if (e["name"] != "PCD_PPI")
      located.push_back(e["name"]);
  EXPECT_EQ(located, (std::vector<std::string>{"EFI_PEI_SMBUS2_PPI", "EFI_PEI_STALL_PPI",
                                               "BMC_TRANSPORT_PPI"}));

  std::vector<Json> requests = Only(probe, "ipmi");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["netfn"], 0x06);
  EXPECT_EQ(requests[0]["lun"], 0);
  EXPECT_EQ(requests[0]["command"], 0x52);
  EXPECT_EQ(requests[0]["request"], "05e20100");
  EXPECT_EQ(requests[0]["size_in"], 10);
  EXPECT_TRUE(Only(probe, "stall").empty());

  EXPECT_EQ(BusLog(probe), (std::vector<std::string>{"write 71/00 10", "read 3a/00 = a5",
                                                     "read 3b/00 = 3c", "read 3e/00 = 28"}));
  EXPECT_EQ(PcdWrites(probe), (std::vector<std::string>{InputWord(0x1265), InputField(5)}));
  EXPECT_EQ(ReturnedStatus(probe), "EFI_SUCCESS");
  // The BMC gives the selector up before the host writes it, and the host leaves it selected.
  EXPECT_LT(run.IndexOf("ipmi"), run.IndexOf("smbus"));
  EXPECT_EQ(run.final()["smbus"]["113"]["0"], 0x10);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

TEST(SmbusProbe, InputBitsLandInTheirFields) {
  struct Case {
    int x, y, z;
    uint32_t word, field;
  };
  const Case cases[] = {
      {0x01, 0x00, 0x00, 0x1000, 0}, // X bit 0 -> bit 12
      {0x1E, 0x00, 0x00, 0x0F00, 0}, // X bits 4:1 -> bits 11:8
      {0xE0, 0x00, 0x00, 0x0007, 0}, // X bits 7:5 -> bits 2:0
      {0x00, 0xFF, 0x00, 0x0078, 0}, // Y bits 3:0 -> bits 6:3, bit 7 stays 0
      {0x00, 0xF0, 0x00, 0x0000, 0}, // Y bits 7:4 unused
      {0xFF, 0xFF, 0xFF, 0x1F7F, 7}, {0x00, 0x00, 0x38, 0x0000, 7}, // Z bits 5:3
      {0x00, 0x00, 0xC7, 0x0000, 0},                                // Z bits outside 5:3 unused
      {0x00, 0x00, 0x08, 0x0000, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("X=" + HexByte(c.x) + " Y=" + HexByte(c.y) + " Z=" + HexByte(c.z));
    Scenario run(InputDevices(c.x, c.y, c.z) + kSmbusArrivesAfterDispatch);
    std::vector<Json> probe = ProbeRun(run);
    EXPECT_EQ(PcdWrites(probe), (std::vector<std::string>{InputWord(c.word), InputField(c.field)}));
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

TEST(SmbusProbe, SilentBmcGetsTenRequestsAndTenStallsThenTheProbeRuns) {
  Scenario run(InputDevices(0xA5, 0x3C, 0x28) + "[bmc]\nready_after = \"never\"\n" +
               kSmbusArrivesAfterDispatch);
  std::vector<Json> probe = ProbeRun(run);

  std::vector<std::string> waits;
  for (const Json &e : probe)
    if (e["ev"] == "ipmi")
      waits.push_back("request " + e["status"].get<std::string>());
    else if (e["ev"] == "stall")
      waits.push_back("stall " + std::to_string(e["us"].get<uint64_t>()));
  EXPECT_EQ(waits, Repeated({"request EFI_DEVICE_ERROR", "stall 100000"}, 10));
  for (const Json &e : Only(probe, "ipmi"))
    EXPECT_EQ(e["request"], "05e20100");

  // The probe starts after the tenth stall, a simulated second later.
  std::vector<Json> bus = Only(probe, "smbus");
  ASSERT_FALSE(bus.empty());
  EXPECT_EQ(bus[0]["t_us"].get<uint64_t>() - probe[0]["t_us"].get<uint64_t>(),
            10 * kBmcRetryStallUs);
  EXPECT_EQ(BusLog(probe), (std::vector<std::string>{"write 71/00 10", "read 3a/00 = a5",
                                                     "read 3b/00 = 3c", "read 3e/00 = 28"}));
  EXPECT_EQ(PcdWrites(probe), (std::vector<std::string>{InputWord(0x1265), InputField(5)}));
  EXPECT_EQ(ReturnedStatus(probe), "EFI_SUCCESS");
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

TEST(SmbusProbe, BmcAnsweringTheThirdRequestCostsTwoStalls) {
  Scenario run(InputDevices(0xA5, 0x3C, 0x28) + "[bmc]\nready_after = 2\n" +
               kSmbusArrivesAfterDispatch);
  std::vector<Json> probe = ProbeRun(run);
  std::vector<Json> requests = Only(probe, "ipmi");
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0]["status"], "EFI_DEVICE_ERROR");
  EXPECT_EQ(requests[1]["status"], "EFI_DEVICE_ERROR");
  EXPECT_EQ(requests[2]["status"], "EFI_SUCCESS");
  EXPECT_EQ(requests[2]["size_out"], 1);
  EXPECT_EQ(Only(probe, "stall").size(), 2u);
  long answered = run.IndexOf("ipmi", Field("status", "EFI_SUCCESS"));
  EXPECT_LT(answered, run.IndexOf("smbus"));
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// Only a successful answer of exactly one byte (the completion code) means the BMC is ready.
TEST(SmbusProbe, AnswerOfOtherThanOneByteIsNotReady) {
  struct Case {
    const char *bmc;
    uint64_t sizeOut;
  };
  const Case cases[] = {
      {"not_ready = \"size2\"\nready_after = \"never\"", 2},
      {"response_size = 3", 3},
      {"response_size = 0", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bmc);
    Scenario run(InputDevices(0xA5, 0x3C, 0x28) + "[bmc]\n" + c.bmc + "\n" +
                 kSmbusArrivesAfterDispatch);
    std::vector<Json> probe = ProbeRun(run);
    std::vector<Json> requests = Only(probe, "ipmi");
    EXPECT_EQ(requests.size(), 10u);
    for (const Json &e : requests) {
      EXPECT_EQ(e["status"], "EFI_SUCCESS");
      EXPECT_EQ(e["size_out"], c.sizeOut);
    }
    EXPECT_EQ(Only(probe, "stall").size(), 10u);
    EXPECT_EQ(PcdWrites(probe), (std::vector<std::string>{InputWord(0x1265), InputField(5)}));
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// A not-ready answer shrinks the size byte; every request must still offer the full capacity.
TEST(SmbusProbe, EveryRequestOffersTheFullResponseCapacity) {
  Scenario run(InputDevices(0xA5, 0x3C, 0x28) + "[bmc]\nnot_ready = \"size2\"\nready_after = 1\n" +
               kSmbusArrivesAfterDispatch);
  std::vector<Json> requests = Only(ProbeRun(run), "ipmi");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0]["size_in"], 10);
  EXPECT_EQ(requests[0]["size_out"], 2);
  EXPECT_EQ(requests[1]["size_in"], 10);
  EXPECT_EQ(requests[1]["size_out"], 1);
  EXPECT_EQ(run.Of("stall").size(), 1u);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

TEST(SmbusProbe, FailedAttemptRestartsAtTheSelectorWriteWithoutDelay) {
  Scenario run(SmbusDevice(0x71, Register0(0) + "\nfail_on = [3]") +
               SmbusDevice(0x3A, Register0(0xA5)) +
               SmbusDevice(0x3B, Register0(0x3C) + "\nfail_on = [1, 2]") +
               SmbusDevice(0x3E, Register0(0x28)) + kSmbusArrivesAfterDispatch);
  std::vector<Json> probe = ProbeRun(run);
  EXPECT_EQ(BusLog(probe),
            (std::vector<std::string>{"write 71/00 10", "read 3a/00 = a5", "read 3b/00 failed",
                                      "write 71/00 10", "read 3a/00 = a5", "read 3b/00 failed",
                                      "write 71/00 10 failed", "write 71/00 10", "read 3a/00 = a5",
                                      "read 3b/00 = 3c", "read 3e/00 = 28"}));
  EXPECT_EQ(PcdWrites(probe), (std::vector<std::string>{InputWord(0x1265), InputField(5)}));
  EXPECT_TRUE(Only(probe, "stall").empty());
  EXPECT_EQ(ReturnedStatus(probe), "EFI_SUCCESS");
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// Every attempt that reads X and Y writes the word before Z is tried; the tenth attempt is the
// last one that counts.
TEST(SmbusProbe, FieldDeviceFailingDecidesOnTheTenthAttempt) {
  const std::vector<std::string> attempt = {"write 71/00 10", "read 3a/00 = a5", "read 3b/00 = 3c",
                                            "read 3e/00 failed"};
  {
    SCOPED_TRACE("0x3E answers the tenth attempt");
    Scenario run(SmbusDevice(0x71) + SmbusDevice(0x3A, Register0(0xA5)) +
                 SmbusDevice(0x3B, Register0(0x3C)) +
                 SmbusDevice(0x3E, Register0(0x28) + "\nfail_first = 9") +
                 kSmbusArrivesAfterDispatch);
    std::vector<Json> probe = ProbeRun(run);
    std::vector<std::string> bus = Repeated(attempt, 9);
    bus.insert(bus.end(),
               {"write 71/00 10", "read 3a/00 = a5", "read 3b/00 = 3c", "read 3e/00 = 28"});
    EXPECT_EQ(BusLog(probe), bus);
    std::vector<std::string> writes = Repeated({InputWord(0x1265)}, 10);
    writes.push_back(InputField(5));
    EXPECT_EQ(PcdWrites(probe), writes);
    EXPECT_EQ(ReturnedStatus(probe), "EFI_SUCCESS");
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
  {
    SCOPED_TRACE("0x3E absent");
    Scenario run(SmbusDevice(0x71) + SmbusDevice(0x3A, Register0(0xA5)) +
                 SmbusDevice(0x3B, Register0(0x3C)) + kSmbusArrivesAfterDispatch);
    std::vector<Json> probe = ProbeRun(run);
    EXPECT_EQ(BusLog(probe), Repeated(attempt, 10));
    std::vector<std::string> writes = Repeated({InputWord(0x1265)}, 10);
    writes.insert(writes.end(), kDefaults.begin(), kDefaults.end());
    EXPECT_EQ(PcdWrites(probe), writes);
    EXPECT_EQ(ReturnedStatus(probe), "EFI_DEVICE_ERROR");
    EXPECT_EQ(run.final()["pcd"]["195"], 0x247);
    EXPECT_EQ(run.final()["pcd"]["196"], 2);
    EXPECT_TRUE(Only(probe, "stall").empty());
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

TEST(SmbusProbe, EarlierDeviceAbsentNeverAssemblesTheWord) {
  struct Case {
    int absent;
    std::vector<std::string> attempt;
  };
  const Case cases[] = {
      {0x3A, {"write 71/00 10", "read 3a/00 failed"}},
      {0x3B, {"write 71/00 10", "read 3a/00 = a5", "read 3b/00 failed"}},
      {0x71, {"write 71/00 10 failed"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("absent " + HexByte(c.absent));
    Scenario run(InputDevices(0xA5, 0x3C, 0x28, c.absent) + kSmbusArrivesAfterDispatch);
    std::vector<Json> probe = ProbeRun(run);
    EXPECT_EQ(BusLog(probe), Repeated(c.attempt, 10));
    EXPECT_EQ(PcdWrites(probe), kDefaults);
    EXPECT_EQ(ReturnedStatus(probe), "EFI_DEVICE_ERROR");
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// Without all three services nothing is sent and the tokens keep the platform's values.
TEST(SmbusProbe, MissingServiceEndsTheCallbackWithTheLookupError) {
  struct Case {
    const char *what;
    std::string board;
    std::vector<std::string> located;
    const char *status;
  };
  const Case cases[] = {
      {"SMBus lookup fails",
       "[[fault]]\ncall = \"pei.LocatePpi\"\ntarget = \"EFI_PEI_SMBUS2_PPI\"\n"
       "status = \"EFI_NOT_READY\"\n",
       {"EFI_PEI_SMBUS2_PPI EFI_NOT_READY"},
       "EFI_NOT_READY"},
      {"no stall service",
       "[services]\nEFI_PEI_STALL_PPI = false\n",
       {"EFI_PEI_SMBUS2_PPI EFI_SUCCESS", "EFI_PEI_STALL_PPI EFI_NOT_FOUND"},
       "EFI_NOT_FOUND"},
      {"no BMC transport",
       "[services]\nBMC_TRANSPORT_PPI = false\n",
       {"EFI_PEI_SMBUS2_PPI EFI_SUCCESS", "EFI_PEI_STALL_PPI EFI_SUCCESS",
        "BMC_TRANSPORT_PPI EFI_NOT_FOUND"},
       "EFI_NOT_FOUND"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Scenario run(InputDevices(0xA5, 0x3C, 0x28) + c.board +
                 "[pcd]\nPcdBoardInputWord = 0x1111\nPcdBoardInputField = 0x22\n" +
                 kSmbusArrivesAfterDispatch);
    std::vector<Json> probe = ProbeRun(run);
    std::vector<std::string> located;
    for (const Json &e : Only(probe, "ppi_locate"))
      located.push_back(e["name"].get<std::string>() + " " + e["status"].get<std::string>());
    EXPECT_EQ(located, c.located);
    EXPECT_EQ(ReturnedStatus(probe), c.status);
    EXPECT_TRUE(Only(probe, "ipmi").empty());
    EXPECT_TRUE(Only(probe, "stall").empty());
    EXPECT_TRUE(run.Of("smbus").empty());
    EXPECT_TRUE(Only(probe, "pcd_set").empty());
    EXPECT_EQ(run.final()["pcd"]["195"], 0x1111);
    EXPECT_EQ(run.final()["pcd"]["196"], 0x22);
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

} // namespace
} // namespace boardsim::testing
