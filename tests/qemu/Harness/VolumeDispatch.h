// Hands a firmware volume from the harness's own disk to the DXE core and runs its dispatcher,
// as a platform does with a volume it finds (a capsule, a second flash part).
#pragma once
#include <Uefi.h>

// Hands a copy of the volume to the DXE core (gDS->ProcessFirmwareVolume).
EFI_STATUS ProcessVolume(CONST VOID *Data, UINTN Size);
// Reads FileName from the file system the harness was loaded from and processes it as a volume.
EFI_STATUS ProcessVolumeFromDisk(CONST CHAR16 *FileName);
// gDS->Dispatch: EFI_SUCCESS when it started a driver, EFI_NOT_FOUND when none could be started.
EFI_STATUS DispatchDrivers();
// Whether the image that holds Protocol's interface was loaded from the processed volume, and
// the name of its file there (zero when not).
BOOLEAN ProtocolImageFromVolume(CONST EFI_GUID *Protocol, EFI_GUID *FileName);
