// Symbol visibility of the host SDK libraries.
//
// On Windows the whole SDK is one DLL (sicppsdk.dll) and its classes are
// exported from it; elsewhere the SDK is two shared objects whose symbols are
// visible by default, while the plug-in that uses them hides its own.
#pragma once

#if defined(_WIN32)
#if defined(XSI_SDK_BUILD)
#define XSI_API __declspec(dllexport)
#else
#define XSI_API __declspec(dllimport)
#endif
#else
#define XSI_API __attribute__((visibility("default")))
#endif
