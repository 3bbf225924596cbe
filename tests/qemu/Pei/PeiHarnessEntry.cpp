// The PEI harness: plays the board's platform for BoardInfoPei in OVMF's PEI phase, from the
// values of the board file the check compares with boardsim (QemuBoardValues.h). It must be
// dispatched before the module, so it is placed ahead of it in the volume (and in the apriori
// file when the module runs in place); the PEI foundation cannot uninstall PPIs, so order, not
// a dependency expression, holds the module back. It leaves the board's "HEAP" records in HOBs
// for the SMM phase.
#include <Guids.h>
#include <Library/BaseMemoryLib.h>

#include "BoardPpis.h"
#include "DebugConsoleLine.h"
#include "HarnessState.h"

namespace {

inline constexpr UINTN kHeapRecords = sizeof(QEMU_BOARD_HEAP) / sizeof(QEMU_BOARD_HEAP[0]);

// A "HEAP" record's GUID-extension HOB (the layout of SmmHeapList.h, whose SMRAM structures are
// x64-only): the 16-byte record header after the HOB header, the payload after it.
struct HEAP_HOB {
  EFI_HOB_GUID_TYPE Header;
  UINT32 Signature;
  UINT32 Handle;
  UINT32 Size;
  UINT8 Kind;
  UINT8 CopyToSmram;
  UINT16 Reserved;
};
static_assert(sizeof(HEAP_HOB) == 40);
static_assert(__builtin_offsetof(HEAP_HOB, Signature) == 24);

// One GUID-extension HOB per record, in board order, each as long as its payload needs.
VOID BuildHeapHobs(CONST EFI_PEI_SERVICES **PeiServices) {
  for (const QEMU_HEAP_RECORD &Record : QEMU_BOARD_HEAP) {
    const UINT16 Length = static_cast<UINT16>((sizeof(HEAP_HOB) + Record.Size + 7) & ~7u);
    VOID *Hob = nullptr;
    const EFI_STATUS Status =
        (*PeiServices)->CreateHob(PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, Length, &Hob);
    if (!EFI_ERROR(Status)) {
      auto *Heap = static_cast<HEAP_HOB *>(Hob);
      Heap->Header.Name = HEAP_TRANSFER_HOB_GUID;
      Heap->Signature = Record.Signature;
      Heap->Handle = Record.Handle;
      Heap->Size = Record.Size;
      Heap->Kind = Record.Kind;
      Heap->CopyToSmram = Record.CopyToSmram;
      Heap->Reserved = 0;
      CopyMem(Heap + 1, QEMU_BOARD_HEAP_DATA + Record.DataOffset, Record.Size);
    }
    DebugConsoleLine()
        .Text("harness heap-hob handle=")
        .Hex(Record.Handle)
        .Text(" status=")
        .Hex(WideStatus(Status))
        .Emit();
  }
}

} // namespace

EFI_STATUS EFIAPI PeiHarnessEntryPoint(EFI_PEI_FILE_HANDLE, CONST EFI_PEI_SERVICES **PeiServices) {
  if (CreateHarnessState(PeiServices) == nullptr) {
    DebugConsoleLine().Text("harness state HOB cannot be created").Emit();
    return EFI_OUT_OF_RESOURCES;
  }
  static_assert(kHeapRecords > 0, "the QEMU board describes the heap records S3SaveSmm moves");
  BuildHeapHobs(PeiServices);
  InstallBoardPpis(PeiServices);
  return EFI_SUCCESS;
}
