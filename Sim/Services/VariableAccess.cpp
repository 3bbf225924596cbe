#include "Services/VariableAccess.h"

#include "Core/GuidNames.h"
#include "Core/Simulator.h"
#include "Services/VariableStore.h"

namespace boardsim {

Status ReadVariable(Simulator &sim, const Injected &injected, const CHAR16 *name,
                    const EFI_GUID &guid, UINT32 *attributes, UINTN *dataSize, VOID *data) {
  std::u16string variable = ReadChar16String(name);
  uint64_t sizeIn = *dataSize;
  const Status status = injected.Run([&] {
    auto read = sim.variables().Get(variable, guid, attributes, sizeIn, data);
    if (read.status == EFI_SUCCESS || read.status == EFI_BUFFER_TOO_SMALL)
      *dataSize = read.size;
    return read.status;
  });
  sim.Emit("variable_get", [&](Json &e) {
    e["name"] = Narrow(variable);
    e["guid"] = GuidText(guid);
    e["size_in"] = sizeIn;
    e["status"] = StatusName(status);
    e["size_out"] = static_cast<uint64_t>(*dataSize);
  });
  return status;
}

} // namespace boardsim
