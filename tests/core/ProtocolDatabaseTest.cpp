// The handle database of the boot services and the SMM core, driven directly: handles, their
// interfaces, and the orders in which look-ups find them.
#include "Core/Simulator.h"
#include "Dxe/ProtocolDatabase.h"

#include <gtest/gtest.h>

#include <vector>

namespace boardsim {
namespace {

constexpr EFI_GUID kFirst = {0x1D0A5C11, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
constexpr EFI_GUID kSecond = {0x1D0A5C11, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 2}};
constexpr EFI_GUID kNeverInstalled = {0x1D0A5C11, 0x0003, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 3}};

// A database of its own over a simulator that is never run; tracing is off.
struct Database {
  Board board;
  Simulator sim{board};
  ProtocolDatabase protocols{sim, "boot", nullptr};
};

TEST(ProtocolDatabase, HandlesCarryOneInterfacePerProtocolListedInCreationOrder) {
  Database db;
  int a = 0, b = 0, c = 0;
  EFI_HANDLE early = nullptr, late = nullptr;
  ASSERT_EQ(db.protocols.Install(&early, kSecond, &a), EFI_SUCCESS);
  ASSERT_EQ(db.protocols.Install(&late, kFirst, &b), EFI_SUCCESS);
  ASSERT_EQ(db.protocols.Install(&early, kFirst, &c), EFI_SUCCESS);
  ASSERT_NE(early, late);
  // By handle creation, not by when the protocol arrived on each handle.
  EXPECT_EQ(db.protocols.HandlesWith(kFirst), (std::vector<EFI_HANDLE>{early, late}));

  EXPECT_EQ(db.protocols.Install(&early, kFirst, &a), EFI_INVALID_PARAMETER) << "one per handle";
  EFI_HANDLE unknown = &a;
  EXPECT_EQ(db.protocols.Install(&unknown, kFirst, &a), EFI_INVALID_PARAMETER);

  void *found = nullptr;
  EXPECT_EQ(db.protocols.Handle(early, kFirst, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &c);
  EXPECT_EQ(db.protocols.Handle(late, kSecond, &found), EFI_UNSUPPORTED);
  EXPECT_EQ(found, nullptr);

  EXPECT_EQ(db.protocols.Uninstall(early, kFirst, &b), EFI_NOT_FOUND) << "another handle's";
  EXPECT_EQ(db.protocols.Uninstall(early, kFirst, &c), EFI_SUCCESS);
  EXPECT_EQ(db.protocols.Handle(early, kFirst, &found), EFI_UNSUPPORTED);
  EXPECT_EQ(db.protocols.Handle(early, kSecond, &found), EFI_SUCCESS) << "the handle stays";
  EXPECT_EQ(db.protocols.HandlesWith(kFirst), (std::vector<EFI_HANDLE>{late}));
}

TEST(ProtocolDatabase, LocateFindsTheOldestAndARegistrationEachLaterOneOnce) {
  Database db;
  int first = 0, second = 0, third = 0, replacement = 0, event = 0;
  EFI_HANDLE handles[3] = {};
  ASSERT_EQ(db.protocols.Install(&handles[0], kFirst, &first), EFI_SUCCESS);
  void *key = nullptr;
  ASSERT_EQ(db.protocols.RegisterNotify(kFirst, &event, &key), EFI_SUCCESS);
  ASSERT_EQ(db.protocols.Install(&handles[1], kFirst, &second), EFI_SUCCESS);
  ASSERT_EQ(db.protocols.Install(&handles[2], kFirst, &third), EFI_SUCCESS);

  void *found = nullptr;
  EXPECT_EQ(db.protocols.Locate(kFirst, nullptr, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &first);
  EXPECT_EQ(db.protocols.Locate(kFirst, key, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &second);

  // A reinstalled interface counts as installed now: the oldest is another, and the key meets it
  // after the one still waiting.
  ASSERT_EQ(db.protocols.Reinstall(handles[0], kFirst, &first, &replacement), EFI_SUCCESS);
  EXPECT_EQ(db.protocols.Locate(kFirst, nullptr, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &second);
  EXPECT_EQ(db.protocols.Locate(kFirst, key, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &third);
  EXPECT_EQ(db.protocols.Locate(kFirst, key, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &replacement);
  EXPECT_EQ(db.protocols.Locate(kFirst, key, &found), EFI_NOT_FOUND);
  EXPECT_EQ(db.protocols.Locate(kNeverInstalled, nullptr, &found), EFI_NOT_FOUND);
}

} // namespace
} // namespace boardsim
