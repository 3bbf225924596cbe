// Build-time settings kept in module data.
//
//   BUILD_SETTING UINT8 DebugPrintEnable = 0;   // definition, at namespace scope
//   BUILD_SETTING UINT8 DebugPrintEnable;       // declaration, e.g. in a header
//
// In a firmware image a setting is a read-only constant. In a host image it is an exported,
// writable variable, so the simulator can model an image built with another value by writing
// it after loading and before the entry point runs.
#pragma once

#if defined(BOARDFW_HOST)
#define BUILD_SETTING extern "C" __attribute__((visibility("default")))
#else
#define BUILD_SETTING extern "C" const
#endif
