// S3 save library: the shared private record of the S3 save table, locked at ready-to-lock and
// handed into SMRAM at ready-to-boot.
#pragma once
#include <Uefi.h>
#include <S3SaveTable.h>

// The record this module uses; NULL until set-up created or adopted it.
extern TarnS3LibPrivateData *mTarnS3LibPrivateData;
// Created only by the module that created the record; NULL otherwise.
extern EFI_EVENT mTarnS3ReadyToLockEvent;
extern EFI_EVENT mTarnS3CloseTableEvent;
// Taken from MSR 0xC0010058 at set-up when the window is enabled there.
extern UINT64 mPciExpressWindowBase;
extern UINT32 mPciExpressWindowSize;
// Set when an event's own callback closed it, so that a teardown does not close it again.
extern BOOLEAN mReadyToLockEventClosed;
extern BOOLEAN mCloseTableEventClosed;
// Set when the close-table work has run: it frees the table and sends the hand-over, so it must
// not run twice, even when closing its event failed and ready-to-boot is signalled again.
extern BOOLEAN mCloseTableRan;

EFI_STATUS S3SaveLibSetup(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
VOID EFIAPI OnReadyToLock(EFI_EVENT Event, VOID *Context);
VOID EFIAPI TarnS3SaveCloseTableCallBack(EFI_EVENT Event, VOID *Context);
// 0 when the table at TableBase is fit to close: its header lies whole on one side of SMRAM, its
// signature and boundary marker are right, and the fields its offsets name lie on the header's
// side. Header then holds the copy of the header the checks were made on, which is all that may
// be used afterwards. 7 otherwise.
UINT32 CheckS3Table(UINT64 TableBase, S3_TABLE_HEADER *Header);
// For an image whose start-up failed: closes the events it created (unless their own callbacks
// closed them already) and withdraws the record it created and published.
VOID S3SaveLibTeardown();
