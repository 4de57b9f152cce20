// How the plug-in marks the functions the host looks up by name.
//
// The library exports exactly XSILoadPlugin and the nine node callbacks,
// under their plain C names; everything else is hidden (hidden visibility by
// default, plus the version script Velpo.map on Linux).
#pragma once

#if defined(_WIN32)
#define VELPO_EXPORT extern "C" __declspec(dllexport)
#else
#define VELPO_EXPORT extern "C" __attribute__((visibility("default")))
#endif
