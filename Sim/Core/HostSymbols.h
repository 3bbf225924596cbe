// Names for addresses in the host images of the modules. Module objects export no symbols, so
// the function is looked up in the symbol table of the shared object file itself.
#pragma once
#include <cstdint>
#include <string>

namespace boardsim {

// The demangled name of the function of a loaded shared object that holds `address`, or empty.
std::string HostFunctionAt(uint64_t address);

} // namespace boardsim
