// Gives boot services a CopyMem that reads device memory the way the board's PCIe devices answer.
//
// QEMU's Intel NIC models answer a read narrower than a register with the register's low bytes,
// whatever byte the read addresses (QEMU's memory core widens the access but does not shift it).
// Real devices return the addressed byte lanes. The firmware's CopyMem reads a few bytes one at a
// time, so a MAC address copied from the NIC's registers with it would come back garbled under
// QEMU only. The replacement reads whole aligned dwords and picks the addressed bytes when the
// source lies in the memory window of one of the topology's root ports, and leaves every other
// copy to the firmware's CopyMem.
#pragma once
#include <Uefi.h>

EFI_STATUS InstallDeviceCopyMem();
