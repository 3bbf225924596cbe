// qemu-board's rules, which the QEMU check's verdict rests on: the Setup variable lands in the
// variable store as the firmware would have written it, boardsim's trace becomes exactly the
// lines the harness prints (only the module's own calls, statuses as values), and a board the
// harness cannot play is refused rather than played differently.
#include <gtest/gtest.h>

#include "Board/BoardParser.h"

#include <cstring>
#include <sstream>

#include "BoardHeader.h"
#include "ExpectedLines.h"
#include "VariableStore.h"

namespace {

constexpr std::size_t kStoreAt = 0x48; // after the volume header
constexpr std::size_t kFirstVariable = kStoreAt + 28;
constexpr std::uint8_t kAuthenticatedStore[16] = {0x78, 0x2C, 0xF3, 0xAA, 0x7B, 0x94, 0x9A, 0x43,
                                                  0xA1, 0x80, 0x2E, 0x14, 0x4E, 0xC3, 0x77, 0x92};

// A volume header length, a store header and one variable "A" with 3 data bytes.
std::vector<std::uint8_t> Store(std::size_t size) {
  std::vector<std::uint8_t> store(size, 0xFF);
  store[48] = kStoreAt;
  store[49] = 0;
  std::memcpy(store.data() + kStoreAt, kAuthenticatedStore, 16);
  const std::uint32_t storeSize = static_cast<std::uint32_t>(size - kStoreAt);
  std::memcpy(store.data() + kStoreAt + 16, &storeSize, 4);
  std::vector<std::uint8_t> variable(60 + 4 + 3, 0);
  variable[0] = 0xAA;
  variable[1] = 0x55;
  variable[2] = 0x3F;
  variable[36] = 4; // NameSize
  variable[40] = 3; // DataSize
  std::copy(variable.begin(), variable.end(), store.begin() + kFirstVariable);
  return store;
}

boardsim::Board Board(const std::string &text) {
  boardsim::LoadResult loaded = boardsim::ParseBoardText(text, "test.toml");
  EXPECT_TRUE(loaded.board.has_value());
  return loaded.board.value_or(boardsim::Board{});
}

TEST(QemuBoard, SetupVariableFollowsTheStoresLastVariable) {
  const boardsim::Board board = Board("[setup]\nbytes = { 584 = 7 }\n");
  const std::vector<std::uint8_t> store = qemuboard::WithSetupVariable(Store(0x1000), board.setup);
  const std::size_t at = (kFirstVariable + 60 + 4 + 3 + 3) & ~std::size_t{3};
  EXPECT_EQ(store[at], 0xAA);
  EXPECT_EQ(store[at + 1], 0x55);
  EXPECT_EQ(store[at + 2], 0x3F); // added
  EXPECT_EQ(store[at + 4], 0x07); // non-volatile, boot services, runtime
  EXPECT_EQ(store[at + 36], 12);  // "Setup" and its terminator in UCS-2
  EXPECT_EQ(store[at + 40] | store[at + 41] << 8, 589);
  EXPECT_EQ(store[at + 44], 0x43); // SETUP_VARIABLE_GUID, EC87D643-...
  EXPECT_EQ(store[at + 60], 'S');
  EXPECT_EQ(store[at + 72 + 584], 7);
  EXPECT_EQ(store[at + 72 + 589], 0xFF);

  // No Setup: the store as it was; no room or another store: refused.
  EXPECT_EQ(qemuboard::WithSetupVariable(Store(0x1000), Board("[setup]\npresent = false\n").setup),
            Store(0x1000));
  EXPECT_THROW(qemuboard::WithSetupVariable(Store(0x200), board.setup), std::runtime_error);
  std::vector<std::uint8_t> plain = Store(0x1000);
  plain[kStoreAt] ^= 1;
  EXPECT_THROW(qemuboard::WithSetupVariable(plain, board.setup), std::runtime_error);
}

TEST(QemuBoard, TraceBecomesTheHarnessLines) {
  std::istringstream trace(
      R"({"ev":"smbus","image":"BoardInfoPei#1","op":"read_byte","address":58,"command":0,"data":165,"status":"EFI_DEVICE_ERROR"}
{"ev":"smbus","image":"platform","op":"read_byte","address":1,"command":0,"data":0,"status":"EFI_SUCCESS"}
{"ev":"ipmi","image":"BoardInfoPei#1","netfn":6,"lun":0,"command":82,"request":"05e20100","size_in":10,"status":"EFI_SUCCESS","size_out":1}
{"ev":"pcd_set","image":"BoardInfoPei#1","token":195,"width":32,"value":4709}
{"ev":"return","image":"platform","target":"BOARD_INFO_PPI.3","value":0,"buffer1":"541b0101aa","buffer2":"01aa"}
{"ev":"io","image":"S3SaveSmm#1","dir":"out","port":224,"width":16,"value":57005}
{"ev":"io","image":"S3SaveSmm#1","dir":"out","port":1016,"width":8,"value":65}
{"ev":"io","image":"S3SaveSmm#1","dir":"out","port":128,"width":32,"value":591977}
{"ev":"final","heap_list":[{"handle":256,"size":8}],"error_stops":[591977]}
)");
  EXPECT_EQ(qemuboard::PeiLines(trace),
            "smbus op=read_byte address=0x3A command=0x0 data=0xA5 status=0x8000000000000007\n"
            "ipmi netfn=0x6 lun=0x0 command=0x52 request=05E20100 size_in=0xA status=0x0 "
            "size_out=0x1\n"
            "pcd_set token=0xC3 width=0x20 value=0x1265\n"
            "call BOARD_INFO_PPI.3 value=0x0 buffer1=541B0101AA buffer2=01AA\n");
  trace.clear();
  trace.seekg(0);
  EXPECT_EQ(qemuboard::SmmLines(trace), "heap-node handle=0x100 size=0x8\n"
                                        "port port=0xE0 width=0x10 value=0xDEAD\n"
                                        "port port=0x80 width=0x20 value=0x90869\n");
  std::istringstream unknown(
      R"({"ev":"stall","image":"BoardInfoPei#1","us":1,"status":"EFI_NO_SUCH"}
{"ev":"smbus","image":"BoardInfoPei#1","op":"read_byte","address":1,"command":0,"data":0,"status":"EFI_NO_SUCH"})");
  EXPECT_THROW(qemuboard::PeiLines(unknown), std::runtime_error);
}

TEST(QemuBoard, RefusesWhatTheHarnessDoesNotPlay) {
  EXPECT_NO_THROW(qemuboard::BoardHeader(Board("[[heap]]\nhandle = 1\ndata = \"0102\"\n"), "b"));
  const char *const unplayable[] = {
      "[[heap]]\nhandle = 1\ntrace_buffer = { capacity = 16 }\n",
      "[[heap]]\nhandle = 1\nhob_length = 64\n",
      "[[smbus]]\naddress = 0x10\nfail_on = [1, 2, 3, 4, 5, 6, 7, 8, 9]\n",
  };
  for (const char *text : unplayable) {
    EXPECT_THROW(qemuboard::BoardHeader(Board(text), "b"), std::runtime_error) << text;
  }
}

} // namespace
