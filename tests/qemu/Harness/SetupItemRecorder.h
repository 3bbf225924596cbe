// The board's setup item service as the harness plays it: SETUP_ITEM_PROTOCOL whose MarkItem
// records each call in the harness record.
#pragma once
#include <Uefi.h>

#include "HarnessRecordProtocol.h"

EFI_STATUS InstallSetupItemRecorder(HARNESS_RECORD_PROTOCOL *Record);
