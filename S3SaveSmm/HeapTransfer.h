// Moves the "HEAP" records of the HOB list into the SMRAM heap list and looks buffers up in it.
#pragma once
#include <SmmHeapList.h>

inline constexpr UINT32 HEAP_BUFFER_FOUND = 0;
inline constexpr UINT32 HEAP_BUFFER_NOT_FOUND = 2;

// Adopts the heap list of an image that started earlier or, for the first image, builds the list
// from the HOBs and installs SMM_HEAP_LIST_PROTOCOL for the images that follow.
VOID SetUpHeapList();
// Uninstalls SMM_HEAP_LIST_PROTOCOL if this image installed it (its interface lives in the image).
VOID RemoveHeapList();

// Returns HEAP_BUFFER_FOUND with Size and Buffer of the first node carrying Request->Handle, or
// HEAP_BUFFER_NOT_FOUND with Size 0 and Buffer NULL.
UINT32 FindHeapBuffer(HEAP_LOOKUP_REQUEST *Request);
