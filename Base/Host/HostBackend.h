// The bridge and context this host image was attached to (see HostBridge.h). Set once by
// HostBackendAttach before the module's entry point runs; every hardware access goes through it.
#pragma once
#include <HostBridge.h>

struct HOST_BACKEND {
  const HOST_BRIDGE *Bridge;
  void *Context;
};

extern HOST_BACKEND gHostBackend;
