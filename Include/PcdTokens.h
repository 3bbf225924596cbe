// Dynamic PCD token numbers of the platform's PCD database that the modules use.
#pragma once
#include <InterfaceBase.h>

#ifdef __cplusplus
inline constexpr UINTN PcdNic1BridgeLocation = 2;      // 32-bit, read by BoardInfoDxe
inline constexpr UINTN PcdNic2BridgeLocation = 203;    // 32-bit
inline constexpr UINTN PcdNic3BridgeLocation = 204;    // 32-bit
inline constexpr UINTN PcdNic4BridgeLocation = 205;    // 32-bit
inline constexpr UINTN PcdNicFunctionLayout = 251;     // 8-bit
inline constexpr UINTN PcdBoardInputWord = 195;        // 32-bit, written by BoardInfoPei
inline constexpr UINTN PcdBoardInputField = 196;       // 8-bit
inline constexpr UINTN PcdBoardDeviceCode = 232;       // 32-bit
inline constexpr UINTN PcdBoardFixedByte = 278;        // 8-bit
inline constexpr UINTN PcdBoardSetupMask = 279;        // 64-bit
inline constexpr UINTN PcdS3LibPrivateData = 552;      // 64-bit, read and written by S3SaveSmm
inline constexpr UINTN PcdS3CommunicationBuffer = 553; // 64-bit, read by S3SaveSmm
#else
#define PcdNic1BridgeLocation ((UINTN)2)      // 32-bit, read by BoardInfoDxe
#define PcdNic2BridgeLocation ((UINTN)203)    // 32-bit
#define PcdNic3BridgeLocation ((UINTN)204)    // 32-bit
#define PcdNic4BridgeLocation ((UINTN)205)    // 32-bit
#define PcdNicFunctionLayout ((UINTN)251)     // 8-bit
#define PcdBoardInputWord ((UINTN)195)        // 32-bit, written by BoardInfoPei
#define PcdBoardInputField ((UINTN)196)       // 8-bit
#define PcdBoardDeviceCode ((UINTN)232)       // 32-bit
#define PcdBoardFixedByte ((UINTN)278)        // 8-bit
#define PcdBoardSetupMask ((UINTN)279)        // 64-bit
#define PcdS3LibPrivateData ((UINTN)552)      // 64-bit, read and written by S3SaveSmm
#define PcdS3CommunicationBuffer ((UINTN)553) // 64-bit, read by S3SaveSmm
#endif
