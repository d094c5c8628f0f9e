// Kiv, the telemetry library: the entry points it exports. Every function is extern "C" and
// __cdecl (undecorated names in both the 32- and the 64-bit DLL). Texts are NUL-terminated
// 8-bit strings (UTF-8); results are 0 for success unless stated otherwise.
#pragma once

#include <stdint.h>
#include <wchar.h>

#ifdef KIV_BUILDING
#define KIV_API extern "C" __declspec(dllexport)
#else
#define KIV_API extern "C" __declspec(dllimport)
#endif

typedef void* KivHandle;
typedef void* KivRecord;
// Called from the crashing thread with the context given to kivEnableCrashReport and the path
// of the minidump just written.
typedef void (*KivCrashCallback)(void* context, const wchar_t* dumpPath);

// Start.
KIV_API int kivCreate(KivHandle* handle);
KIV_API int kivSetApplyKey(const char* appId, const char* appKey);
KIV_API int kivSetAppInfo(const char* appInfo, const char* reserved1, const char* reserved2);
KIV_API int kivSetHostInfo(const char* host, int port);
KIV_API int kivSetSensorUrl(const char* path);
KIV_API int kivSetMidVersion(int version);
KIV_API int kivSetPubCertificate(const char* base64Der);
KIV_API int kivSetPriCcertificate(const char* base64Der);
KIV_API int kivEnableSandbox(int enable);
KIV_API int kivEnableCrashReport(KivCrashCallback callback, void* context);
KIV_API int kivSetNetProtocol(int protocol);
KIV_API int kivSetURLVersion(const char* version);
// Ends the library's work: what is spooled is sent within a short bounded wait, the rest is
// kept for the next process.
KIV_API int kivFree(KivHandle handle);
// Sends what is spooled, waiting at most milliseconds; 0 when nothing is left unsent.
KIV_API int kivFlush(KivHandle handle, int milliseconds);

// Records: created, written, committed (spooled for sending), freed.
KIV_API int kivCLTCreate(KivHandle handle, int kind, KivRecord* record);
KIV_API int kivCLTWriteInt(KivRecord record, int field, int32_t value);
KIV_API int kivCLTWriteData(KivRecord record, int field, const void* bytes, int size);
KIV_API int kivCLTSensorWriteEvent(KivRecord record, const char* name, int32_t eventId);
KIV_API int kivCLTSensorWriteIntProperties(KivRecord record, const char* key, int32_t value);
KIV_API int kivCLTSensorWriteBoolProperties(KivRecord record, const char* key, int value);
KIV_API int kivCLTSensorWriteStringProperties(KivRecord record, const char* key, const char* value);
KIV_API int kivCLTCommit(KivRecord record);
KIV_API int kivCLTFree(KivRecord record);

// Data helpers. Returned buffers are released with kivDataFree.
KIV_API const char* kivMid();
KIV_API const char* kivMidEx(int kind);
KIV_API char* kivBuildHttpData(int kind, const void* bytes, int size, int* outSize, void* reserved,
                               const char* urlVersion);
KIV_API char* kivDecryptData(const void* bytes, int size, int* outSize);
KIV_API void kivDataFree(void* buffer);
KIV_API int kivOpenUrl(const char* url);
