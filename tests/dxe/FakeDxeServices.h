// Boot services, runtime services, PCD_PROTOCOL and SETUP_ITEM_PROTOCOL as the driver's unit
// tests need them: each records its calls, and each result can be chosen per test.
#pragma once
#include <BoardInfoProtocol.h>
#include <Uefi.h>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct EventRecord {
  UINT32 Type;
  EFI_TPL Tpl;
  EFI_EVENT_NOTIFY Notify;
  const VOID *Context;
  const EFI_GUID *Group; // null for CreateEvent
};

struct FakeDxe {
  // Services in call order, by name ("InstallProtocolInterface", "CreateEventEx", ...).
  std::vector<std::string> Calls;
  std::map<std::string, EFI_STATUS> Fail; // service name -> status it returns instead

  // InstallProtocolInterface
  EFI_HANDLE HandleIn = reinterpret_cast<EFI_HANDLE>(1);
  const EFI_GUID *InstalledGuid = nullptr;
  EFI_INTERFACE_TYPE InstalledType = EFI_INTERFACE_TYPE(99);
  VOID *InstalledInterface = nullptr;
  // CreateEvent / CreateEventEx / RegisterProtocolNotify / CloseEvent
  std::vector<EventRecord> Events; // event handle k + 1 is Events[k]
  const EFI_GUID *NotifyGuid = nullptr;
  EFI_EVENT NotifyEvent = nullptr;
  std::vector<EFI_EVENT> ClosedEvents;
  // AllocatePool / GetVariable
  std::vector<uint8_t> Pool;
  EFI_MEMORY_TYPE PoolType = EfiMaxMemoryType;
  bool SetupPresent = true;
  std::vector<uint8_t> Setup;
  UINTN GetVariableSizeIn = 0;
  bool AttributesRequested = true;
  // Stall
  std::vector<UINTN> Stalls;
  // PCD_PROTOCOL
  bool PcdInstalled = true;
  std::map<UINTN, uint32_t> Pcd;
  std::vector<std::pair<UINTN, int>> PcdReads; // token, width
  // SETUP_ITEM_PROTOCOL
  bool SetupItemInstalled = true;
  std::vector<std::pair<std::string, UINTN>> MarkedItems;

  size_t Count(const std::string &Service) const;
};

FakeDxe &Dxe();
// Fresh records, and gBS/gRT/gST pointing at the fakes.
void ResetDxe();

// Whether a GUID pointer a driver passed names GUID `B`.
bool SameGuid(const EFI_GUID *A, const EFI_GUID &B);
