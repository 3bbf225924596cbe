#include "SetupItemRecorder.h"

#include <BoardInfoProtocol.h>
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>

namespace {

HARNESS_RECORD_PROTOCOL *mRecord;

EFI_STATUS EFIAPI RecordMarkItem(CONST CHAR8 *ItemName, UINTN Code) {
  if (mRecord->MarkItemCount < HARNESS_MAX_MARK_ITEMS) {
    HARNESS_MARK_ITEM &Item = mRecord->MarkItems[mRecord->MarkItemCount];
    UINTN Index = 0;
    for (; ItemName != nullptr && ItemName[Index] != '\0' && Index + 1 < HARNESS_ITEM_NAME_SIZE;
         ++Index) {
      Item.ItemName[Index] = ItemName[Index];
    }
    Item.ItemName[Index] = '\0';
    Item.Code = Code;
  }
  ++mRecord->MarkItemCount;
  return EFI_SUCCESS;
}

SETUP_ITEM_PROTOCOL mSetupItem = {RecordMarkItem};

} // namespace

EFI_STATUS InstallSetupItemRecorder(HARNESS_RECORD_PROTOCOL *Record) {
  mRecord = Record;
  EFI_HANDLE Handle = nullptr;
  return gBS->InstallProtocolInterface(&Handle, &SETUP_ITEM_PROTOCOL_GUID, EFI_NATIVE_INTERFACE,
                                       &mSetupItem);
}
