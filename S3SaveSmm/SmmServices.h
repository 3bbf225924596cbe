// Services shared by the parts of the S3 save SMM driver: the SMM system table, SMRAM pool
// allocation and the SMRAM range table, and cached HOB-list and PCD lookups.
#pragma once
#include <Uefi.h>
#include <Pi/PiSmm.h>
#include <Pcd.h>

extern EFI_SMM_SYSTEM_TABLE2 *gSmst;

// SMST from EFI_SMM_BASE2_PROTOCOL; gSmst stays NULL when the protocol is missing.
VOID LocateSmst();
// Copies the SMRAM map of EFI_SMM_ACCESS2_PROTOCOL into SMRAM pool memory. The copy counts only
// when the query that fills it succeeds.
VOID LoadSmramRanges();
// Frees the copy; no address counts as SMRAM afterwards.
VOID ReleaseSmramRanges();

// EfiRuntimeServicesData from the SMRAM pool; NULL on failure or without an SMST.
VOID *AllocateSmramPool(UINTN Size);
// TRUE when Address lies in [CpuStart, CpuStart + PhysicalSize) of some SMRAM range.
BOOLEAN AddressInSmram(EFI_PHYSICAL_ADDRESS Address);
// Checks for buffers named by data from outside SMRAM. Both are FALSE for an empty buffer, for
// one that wraps past the top of the address space, and when there is no SMRAM map to judge by.
// TRUE when all of [Address, Address + Length) lies in SMRAM (ranges that touch count as one).
BOOLEAN BufferInSmram(EFI_PHYSICAL_ADDRESS Address, UINT64 Length);
// TRUE when no byte of [Address, Address + Length) lies in SMRAM.
BOOLEAN BufferOutsideSmram(EFI_PHYSICAL_ADDRESS Address, UINT64 Length);
// Frees into the SMRAM pool or the boot-services pool, whichever owns Buffer.
VOID ReleasePool(VOID *Buffer);

// The HOB list from the system configuration table; NULL when there is none. A hit is cached.
VOID *FindHobList();
// PCD_PROTOCOL, or NULL when it is not installed. A hit is cached.
PCD_PROTOCOL *LocatePcdService();
