// A small firmware image with contents the reader tests know: a table of function addresses that
// the loader must relocate, read by the entry point so that the linker keeps it. Built as an x64
// DXE driver and as an IA32 PEI module.
#include <Pi/PiPei.h>
#include <Uefi.h>

using FIXTURE_FUNCTION = UINTN(EFIAPI *)();

MODULE_EXPORT UINTN EFIAPI FixtureFirst() {
  return 1;
}
MODULE_EXPORT UINTN EFIAPI FixtureSecond() {
  return 2;
}

MODULE_EXPORT FIXTURE_FUNCTION mFixtureTable[] = {FixtureFirst, FixtureSecond, FixtureFirst};

namespace {

EFI_STATUS SumOfTable() {
  UINTN Sum = 0;
  for (FIXTURE_FUNCTION Function : mFixtureTable) {
    Sum += Function();
  }
  return Sum;
}

} // namespace

#if defined(__x86_64__)
EFI_STATUS EFIAPI FixtureEntryPoint(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  return SumOfTable();
}
#else
EFI_STATUS EFIAPI FixtureEntryPoint(EFI_PEI_FILE_HANDLE, CONST EFI_PEI_SERVICES **) {
  return SumOfTable();
}
#endif
