// What every header of this folder starts from, in C++ and in C. The modules of this tree (C++)
// take the UEFI/PI types from the base layer. A C module of a platform takes them from the EDK II
// MdePkg it is built with, so these headers name MdePkg's headers there and use its STATIC_ASSERT
// and OFFSET_OF; constants are macros and GUIDs are initializers there, as MdePkg has them.
#pragma once

#ifdef __cplusplus
#include <Base.h>
#define BOARD_STATIC_ASSERT(Expression) static_assert(Expression, #Expression)
#define BOARD_OFFSET_OF(Type, Field) __builtin_offsetof(Type, Field)
#else
#include <Uefi/UefiBaseType.h>
#define BOARD_STATIC_ASSERT(Expression) STATIC_ASSERT(Expression, #Expression)
#define BOARD_OFFSET_OF(Type, Field) OFFSET_OF(Type, Field)
#endif
