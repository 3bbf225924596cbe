// Collection of the onboard network controllers' MAC addresses into NIC_MAC_LIST buffers.
#pragma once
#include "PciTopology.h"
#include <BoardInfoProtocol.h>

// How a controller's address is read, chosen from its 32-bit PCI ID (device << 16 | vendor).
enum NIC_MAC_RULE : UINT8 {
  NicMacFromVpd,          // Mellanox: hexadecimal text in a VPD keyword
  NicMacFromSerialNumber, // Broadcom: device serial number bytes in configuration space
  NicMacFromIntel700,     // Intel 700 series: two address registers behind BAR0
  NicMacFromBar0,         // anything else: six bytes behind BAR0
};

NIC_MAC_RULE ChooseNicMacRule(UINT32 PciId);

// The PCI function of controller Index (1-4). Each threshold test calls ReadLayout afresh, so the
// layout PCD is read once per test, as many times as the tests take.
using NIC_LAYOUT_READER = UINT8 (*)();
UINT8 NicFunctionNumber(UINT8 Index, NIC_LAYOUT_READER ReadLayout);

// Appends one entry to List (a NIC_MAC_LIST) when Device answers; the entry stays zero when the
// rule finds no address.
VOID ReadNicMacAddress(UINT8 Index, PCI_BDF16 Device, UINT8 *List);

EFI_STATUS EFIAPI GetNicMacAddresses(UINT8 *ListBuffer1, UINT8 *ListBuffer2);
