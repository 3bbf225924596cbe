#include "VolumeDispatch.h"

#include <Library/BaseMemoryLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "FirmwareVolumeServices.h"

namespace {

// The largest volume read from disk.
constexpr UINTN kVolumeBytes = 16 * 4096;
constexpr UINTN kPageSize = 4096;

EFI_DXE_SERVICES *mDxeServices;
EFI_HANDLE mVolumeHandle;

EFI_DXE_SERVICES *DxeServices() {
  for (UINTN Index = 0; Index < gST->NumberOfTableEntries && mDxeServices == nullptr; ++Index) {
    const EFI_CONFIGURATION_TABLE &Entry = gST->ConfigurationTable[Index];
    if (CompareGuid(&Entry.VendorGuid, &DXE_SERVICES_TABLE_GUID)) {
      mDxeServices = static_cast<EFI_DXE_SERVICES *>(Entry.VendorTable);
    }
  }
  return mDxeServices;
}

EFI_STATUS ReadOwnFile(CONST CHAR16 *FileName, VOID *Buffer, UINTN *Size) {
  EFI_LOADED_IMAGE_PROTOCOL *Image = nullptr;
  EFI_STATUS Status = gBS->HandleProtocol(gImageHandle, &EFI_LOADED_IMAGE_PROTOCOL_GUID,
                                          reinterpret_cast<VOID **>(&Image));
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *FileSystem = nullptr;
  if (!EFI_ERROR(Status)) {
    Status = gBS->HandleProtocol(Image->DeviceHandle, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID,
                                 reinterpret_cast<VOID **>(&FileSystem));
  }
  EFI_FILE_PROTOCOL *Root = nullptr;
  if (!EFI_ERROR(Status)) {
    Status = FileSystem->OpenVolume(FileSystem, &Root);
  }
  EFI_FILE_PROTOCOL *File = nullptr;
  if (!EFI_ERROR(Status)) {
    Status = Root->Open(Root, &File, FileName, EFI_FILE_MODE_READ, 0);
    Root->Close(Root);
  }
  if (!EFI_ERROR(Status)) {
    Status = File->Read(File, Size, Buffer);
    File->Close(File);
  }
  return Status;
}

} // namespace

EFI_STATUS ProcessVolume(CONST VOID *Data, UINTN Size) {
  if (DxeServices() == nullptr) {
    return EFI_NOT_FOUND;
  }
  // The volume stays where the DXE core was given it: its drivers are read from there.
  const UINTN Pages = (Size + kPageSize - 1) / kPageSize;
  EFI_PHYSICAL_ADDRESS Address = 0;
  EFI_STATUS Status = gBS->AllocatePages(AllocateAnyPages, EfiBootServicesData, Pages, &Address);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  VOID *Volume = reinterpret_cast<VOID *>(static_cast<UINTN>(Address));
  gBS->CopyMem(Volume, const_cast<VOID *>(Data), Size);
  Status = mDxeServices->ProcessFirmwareVolume(Volume, Size, &mVolumeHandle);
  if (EFI_ERROR(Status)) {
    gBS->FreePages(Address, Pages);
  }
  return Status;
}

EFI_STATUS ProcessVolumeFromDisk(CONST CHAR16 *FileName) {
  VOID *Buffer = nullptr;
  EFI_STATUS Status = gBS->AllocatePool(EfiBootServicesData, kVolumeBytes, &Buffer);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  UINTN Size = kVolumeBytes;
  Status = ReadOwnFile(FileName, Buffer, &Size);
  if (!EFI_ERROR(Status)) {
    Status = ProcessVolume(Buffer, Size);
  }
  gBS->FreePool(Buffer);
  return Status;
}

EFI_STATUS DispatchDrivers() {
  return DxeServices() != nullptr ? mDxeServices->Dispatch() : EFI_NOT_FOUND;
}

BOOLEAN ProtocolImageFromVolume(CONST EFI_GUID *Protocol, EFI_GUID *FileName) {
  *FileName = {};
  UINTN Count = 0;
  EFI_HANDLE *Handles = nullptr;
  if (mVolumeHandle == nullptr ||
      EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &EFI_LOADED_IMAGE_PROTOCOL_GUID, nullptr,
                                        &Count, &Handles))) {
    return FALSE;
  }
  // The image loaded from a file of the volume whose memory holds the protocol's interface.
  VOID *Interface = nullptr;
  BOOLEAN Found = FALSE;
  if (!EFI_ERROR(gBS->LocateProtocol(Protocol, nullptr, &Interface))) {
    for (UINTN Index = 0; Index < Count && !Found; ++Index) {
      EFI_LOADED_IMAGE_PROTOCOL *Image = nullptr;
      if (EFI_ERROR(gBS->HandleProtocol(Handles[Index], &EFI_LOADED_IMAGE_PROTOCOL_GUID,
                                        reinterpret_cast<VOID **>(&Image)))) {
        continue;
      }
      const auto *Node = reinterpret_cast<MEDIA_FW_VOL_FILEPATH_DEVICE_PATH *>(Image->FilePath);
      const UINTN Base = reinterpret_cast<UINTN>(Image->ImageBase);
      const UINTN Address = reinterpret_cast<UINTN>(Interface);
      if (Image->DeviceHandle != mVolumeHandle || Node == nullptr ||
          Node->Header.Type != MEDIA_DEVICE_PATH || Node->Header.SubType != MEDIA_PIWG_FW_FILE_DP ||
          Address < Base || Address - Base >= Image->ImageSize) {
        continue;
      }
      *FileName = Node->FvFileName;
      Found = TRUE;
    }
  }
  gBS->FreePool(Handles);
  return Found;
}
