#include <Base.h>
#include "HostBackend.h"

HOST_BACKEND gHostBackend;

MODULE_EXPORT void HostBackendAttach(const HOST_BRIDGE *Bridge, void *Context) {
  gHostBackend = {Bridge, Context};
}

// The loader finds this symbol by name and calls it through HOST_BACKEND_ATTACH.
static_assert(__is_same(decltype(&HostBackendAttach), HOST_BACKEND_ATTACH));
