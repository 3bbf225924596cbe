#include "BoardSmbus.h"

namespace {

EFI_STATUS ExecuteByte(CONST EFI_PEI_SMBUS2_PPI *Smbus, UINT8 Address, UINT8 Command,
                       EFI_SMBUS_OPERATION Operation, UINT8 *Data) {
  EFI_SMBUS_DEVICE_ADDRESS SlaveAddress = {};
  SlaveAddress.SmbusDeviceAddress = Address;
  UINTN Length = 1;
  return Smbus->Execute(Smbus, SlaveAddress, Command, Operation, FALSE, &Length, Data);
}

} // namespace

EFI_STATUS SmbusWriteByte(CONST EFI_PEI_SMBUS2_PPI *Smbus, UINT8 Address, UINT8 Command,
                          UINT8 Value) {
  return ExecuteByte(Smbus, Address, Command, EfiSmbusWriteByte, &Value);
}

EFI_STATUS SmbusReadByte(CONST EFI_PEI_SMBUS2_PPI *Smbus, UINT8 Address, UINT8 Command,
                         UINT8 *Value) {
  *Value = 0;
  return ExecuteByte(Smbus, Address, Command, EfiSmbusReadByte, Value);
}
