#pragma once
// The module's version and build time, as the build stamps them (cmake/Version.cmake);
// a compile without the stamp (a tool building one file) falls back to the compiler's.

#ifndef TC120MXS_VERSION
#define TC120MXS_VERSION "unknown"
#endif
#ifndef TC120MXS_BUILD_DATE
#define TC120MXS_BUILD_DATE __DATE__
#endif
#ifndef TC120MXS_BUILD_TIME
#define TC120MXS_BUILD_TIME __TIME__
#endif
