// The S3 save table check and the hand-over at ready-to-boot, with just the boot services and
// the PCD reads that the close-table callback uses.
#include "SmmServiceDoubles.h"
#include "TestMachine.h"
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <PcdTokens.h>
#include <S3SaveLib.h>
#include <cstring>
#include <gtest/gtest.h>
#include <map>

// Recorded by the entry glue in the image; set by each test here.
EFI_BOOT_SERVICES *gBS;

namespace {

constexpr uint64_t kTableSize = 256;
constexpr uint64_t kBoundaryOffset = 0x81; // deliberately unaligned
constexpr uint64_t kTerminatorOffset = 0x43;

std::map<UINTN, UINT64> PcdValues;
UINT64 EFIAPI GetPcd64(UINTN Token) {
  return PcdValues[Token];
}
EFI_STATUS EFIAPI SetPcd64(UINTN Token, UINT64 Value) {
  PcdValues[Token] = Value;
  return EFI_SUCCESS;
}

std::vector<EFI_EVENT> ClosedEvents;
unsigned EventsCreated = 0;
EFI_SMM_COMMUNICATION_PROTOCOL *InstalledCommunication = nullptr;
std::vector<uint8_t> Communicated;

EFI_STATUS EFIAPI LocateProtocol(CONST EFI_GUID *Protocol, VOID *, VOID **Interface) {
  if (InstalledCommunication != nullptr &&
      std::memcmp(Protocol, &EFI_SMM_COMMUNICATION_PROTOCOL_GUID, sizeof(EFI_GUID)) == 0) {
    *Interface = InstalledCommunication;
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}
EFI_STATUS EFIAPI CloseEvent(EFI_EVENT Event) {
  ClosedEvents.push_back(Event);
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI CreateEvent(UINT32, EFI_TPL, EFI_EVENT_NOTIFY, VOID *, EFI_EVENT *) {
  EventsCreated++;
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI CreateEventEx(UINT32, EFI_TPL, EFI_EVENT_NOTIFY, CONST VOID *, CONST EFI_GUID *,
                                EFI_EVENT *) {
  EventsCreated++;
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI Communicate(CONST EFI_SMM_COMMUNICATION_PROTOCOL *, VOID *Buffer, UINTN *Size) {
  const auto *Bytes = static_cast<const uint8_t *>(Buffer);
  Communicated.assign(Bytes, Bytes + *Size);
  return EFI_SUCCESS;
}

class S3SaveLibTest : public ::testing::Test {
protected:
  TestMachine Machine;
  EFI_BOOT_SERVICES BootServices{};
  EFI_SMM_COMMUNICATION_PROTOCOL Communication{Communicate};
  PCD_PROTOCOL Pcd{};
  TarnS3LibPrivateData Record{};
  alignas(8) uint8_t Table[kTableSize] = {};
  uint8_t CommunicationBuffer[64];

  void SetUp() override {
    SmmServiceDoubles::Reset();
    // Each test is a freshly loaded image, whose flags start cleared.
    mReadyToLockEventClosed = mCloseTableEventClosed = mCloseTableRan = FALSE;
    PcdValues.clear();
    ClosedEvents.clear();
    EventsCreated = 0;
    Communicated.clear();
    InstalledCommunication = &Communication;
    BootServices.LocateProtocol = LocateProtocol;
    BootServices.CloseEvent = CloseEvent;
    BootServices.CreateEvent = CreateEvent;
    BootServices.CreateEventEx = CreateEventEx;
    gBS = &BootServices;
    Pcd.Get64 = GetPcd64;
    Pcd.Set64 = SetPcd64;
    SmmServiceDoubles::Pcd = &Pcd;

    S3_TABLE_HEADER Header{};
    Header.Signature = S3_TABLE_SIGNATURE;
    Header.BoundaryOffset = kBoundaryOffset;
    Header.TerminatorOffset = kTerminatorOffset;
    std::memcpy(Table, &Header, sizeof(Header));
    std::memcpy(Table + kBoundaryOffset, &S3_TABLE_BOUNDARY_VALUE, 4);
    Record.TableBase = reinterpret_cast<uintptr_t>(Table);
    mTarnS3LibPrivateData = &Record;

    std::memset(CommunicationBuffer, 0xAA, sizeof(CommunicationBuffer));
    PcdValues[PcdS3CommunicationBuffer] = reinterpret_cast<uintptr_t>(CommunicationBuffer);
  }
  void TearDown() override {
    mTarnS3LibPrivateData = nullptr;
    gBS = nullptr;
    SmmServiceDoubles::Reset();
  }

  UINT32 Check() {
    S3_TABLE_HEADER Header;
    return CheckS3Table(Record.TableBase, &Header);
  }

  uint16_t EndMark() const {
    uint16_t Mark;
    std::memcpy(&Mark, Table + kTerminatorOffset, sizeof(Mark));
    return Mark;
  }
};

TEST_F(S3SaveLibTest, CheckAcceptsTheSignatureAndAnUnalignedBoundaryMarker) {
  EXPECT_EQ(Check(), 0u);
  EXPECT_TRUE(Machine.ErrorStops().empty());
}

TEST_F(S3SaveLibTest, CheckRejectsAWrongSignatureBeforeLookingAtTheBoundary) {
  Table[3] = 'X';
  Table[kBoundaryOffset] ^= 1;
  EXPECT_EQ(Check(), 7u);
  EXPECT_EQ(Machine.ErrorStops(), (std::vector<uint32_t>{0x90672}));
}

TEST_F(S3SaveLibTest, CheckRejectsAMissingBoundaryMarker) {
  Table[kBoundaryOffset + 3] ^= 0x80;
  EXPECT_EQ(Check(), 7u);
  EXPECT_EQ(Machine.ErrorStops(), (std::vector<uint32_t>{0x90677}));
}

TEST_F(S3SaveLibTest, CheckTestsAgainAfterAnAgentReleasedTheStop) {
  Table[0] = 0;
  Machine.OnProbe = [this] { Table[0] = 'A'; }; // the agent repairs the table, then releases
  EXPECT_EQ(Check(), 0u);
  EXPECT_EQ(Machine.ErrorStops(), (std::vector<uint32_t>{0x90672}));
}

// A header that would wrap past the top of the address space is refused before a byte of it is
// read (reading it would fault here).
TEST_F(S3SaveLibTest, CheckRefusesAWrappingHeaderBeforeReadingIt) {
  Record.TableBase = ~UINT64(0) - 20;
  EXPECT_EQ(Check(), 7u);
  EXPECT_EQ(Machine.ErrorStops(), (std::vector<uint32_t>{0x90682}));
}

TEST_F(S3SaveLibTest, ReadyToBootHandsTheRecordOverInA40ByteMessage) {
  const auto Event = reinterpret_cast<EFI_EVENT>(0x5150);
  TarnS3SaveCloseTableCallBack(Event, nullptr);

  EXPECT_EQ(ClosedEvents, (std::vector<EFI_EVENT>{Event}));
  EXPECT_EQ(EndMark(), 0xFFFF);
  const uint64_t RecordAddress = reinterpret_cast<uintptr_t>(&Record);
  std::vector<uint8_t> Expected = {
      0xF0, 0x61, 0x40, 0x5C, 0x51, 0xD0, 0x43, 0x4F,
      0xBC, 0x23, 0x5E, 0x5E, 0x89, 0xB3, 0xCE, 0xC0, // S3_SAVE_COMMUNICATE_GUID
      16,   0,    0,    0,    0,    0,    0,    0,    // MessageLength
      1,    0,    0,    0,    0,    0,    0,    0};   // function 1, reserved
  for (int Byte = 0; Byte < 8; Byte++) {
    Expected.push_back(uint8_t(RecordAddress >> (8 * Byte)));
  }
  EXPECT_EQ(Communicated, Expected);
  // Built in place in the buffer of token 553, and nothing beyond its 40 bytes touched.
  EXPECT_EQ(std::vector<uint8_t>(CommunicationBuffer, CommunicationBuffer + 40), Expected);
  EXPECT_EQ(std::vector<uint8_t>(CommunicationBuffer + 40, CommunicationBuffer + 64),
            std::vector<uint8_t>(24, 0xAA));
  EXPECT_EQ(Record.Closed, 1);
  EXPECT_EQ(SmmServiceDoubles::Released, (std::vector<void *>{Table}));
}

TEST_F(S3SaveLibTest, ReadyToBootWithoutACommunicationBufferOnlyTerminatesTheTable) {
  PcdValues[PcdS3CommunicationBuffer] = 0;
  TarnS3SaveCloseTableCallBack(nullptr, nullptr);
  EXPECT_TRUE(ClosedEvents.empty());
  EXPECT_EQ(EndMark(), 0xFFFF);
  EXPECT_EQ(Machine.ErrorStops(), (std::vector<uint32_t>{0x90821}));
  EXPECT_TRUE(Communicated.empty());
  EXPECT_EQ(Record.Closed, 0);
  EXPECT_TRUE(SmmServiceDoubles::Released.empty());
}

TEST_F(S3SaveLibTest, ReadyToBootLeavesABadTableAlone) {
  Table[kBoundaryOffset] ^= 1;
  TarnS3SaveCloseTableCallBack(nullptr, nullptr);
  EXPECT_EQ(EndMark(), 0);
  EXPECT_TRUE(Communicated.empty());
  EXPECT_EQ(Record.Closed, 0);
  EXPECT_TRUE(SmmServiceDoubles::Released.empty());
}

class PciExpressWindowTest : public S3SaveLibTest {
protected:
  void SetUp() override {
    S3SaveLibTest::SetUp();
    mTarnS3LibPrivateData = nullptr;
    mPciExpressWindowBase = 0x1111;
    mPciExpressWindowSize = 0x2222;
    PcdValues[PcdS3LibPrivateData] = reinterpret_cast<uintptr_t>(&Record);
  }
};

TEST_F(PciExpressWindowTest, AdoptingTheSharedRecordStillReadsTheWindow) {
  Machine.Msrs[0xC0010058] = 0x00000000E0000021; // enabled, 256 buses
  EXPECT_EQ(S3SaveLibSetup(nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(mTarnS3LibPrivateData, &Record);
  EXPECT_EQ(EventsCreated, 0u);
  EXPECT_TRUE(SmmServiceDoubles::AllocationSizes.empty());
  EXPECT_EQ(mPciExpressWindowBase, 0xE0000000u);
  EXPECT_EQ(mPciExpressWindowSize, 256u << 20);

  // Base bits below 20 are dropped; 4096 buses of 1 MiB wrap to 0 in 32 bits.
  Machine.Msrs[0xC0010058] = 0x0000123456789A01 | (12 << 2);
  S3SaveLibSetup(nullptr, nullptr);
  EXPECT_EQ(mPciExpressWindowBase, 0x0000123456700000u);
  EXPECT_EQ(mPciExpressWindowSize, 0u);
  EXPECT_TRUE(Machine.ErrorStops().empty());
}

TEST_F(PciExpressWindowTest, DisabledWindowStopsAndKeepsTheOldValues) {
  Machine.Msrs[0xC0010058] = 0xE0000020;
  EXPECT_EQ(S3SaveLibSetup(nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(Machine.ErrorStops(), (std::vector<uint32_t>{0x90869}));
  EXPECT_EQ(mPciExpressWindowBase, 0x1111u);
  EXPECT_EQ(mPciExpressWindowSize, 0x2222u);
}

} // namespace
