// Shows from outside what S3SaveSmm built in SMRAM before its PCI Express window check: the heap
// list it installs as SMM_HEAP_LIST_PROTOCOL in the UEFI protocol database. The probe's
// notification runs at TPL_NOTIFY, so the DXE core calls it inside that installation, while the
// processor is still in SMM for the driver's entry point and SMRAM can be read; it prints every
// node's handle and size on the debug console.
#pragma once
#include <Uefi.h>

EFI_STATUS ArmHeapListProbe();
