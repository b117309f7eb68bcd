# Cross build for the camera's 32-bit ARM board. By default with Debian's arm-linux-gnueabihf
# toolchain; the tests run under qemu-arm with the toolchain's own runtime libraries.
# LD_LIBRARY_PATH pins the dynamic loader to those: with a multiarch armhf libc installed as
# well (libinih-dev:armhf brings one), the loader would otherwise mix the two C libraries
# and every program that starts a thread would crash.
#
# A board SDK names its own compiler and root file system in the environment of the first
# configure (kept in the cache for later runs):
#   TC120MXS_CROSS_PREFIX (else CROSS_COMPILE)       the compilers are ${prefix}gcc, ${prefix}g++
#   TC120MXS_SYSROOT      (else SDKTARGETSYSROOT)    the board's root file system
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

foreach(_setting CROSS_PREFIX:CROSS_COMPILE SYSROOT:SDKTARGETSYSROOT)
    string(REPLACE ":" ";" _names "${_setting}")
    list(GET _names 0 _ours)
    list(GET _names 1 _sdk)
    if(NOT DEFINED TC120MXS_${_ours})
        if(DEFINED ENV{TC120MXS_${_ours}})
            set(TC120MXS_${_ours} "$ENV{TC120MXS_${_ours}}" CACHE STRING "")
        elseif(DEFINED ENV{${_sdk}})
            set(TC120MXS_${_ours} "$ENV{${_sdk}}" CACHE STRING "")
        endif()
    endif()
endforeach()
# try_compile projects read this file again, without the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TC120MXS_CROSS_PREFIX TC120MXS_SYSROOT)

if(TC120MXS_CROSS_PREFIX)
    set(_prefix "${TC120MXS_CROSS_PREFIX}")
else()
    set(_prefix arm-linux-gnueabihf-)
endif()
set(CMAKE_C_COMPILER ${_prefix}gcc)
set(CMAKE_CXX_COMPILER ${_prefix}g++)

if(TC120MXS_SYSROOT)
    set(CMAKE_SYSROOT "${TC120MXS_SYSROOT}")
    set(CMAKE_FIND_ROOT_PATH "${TC120MXS_SYSROOT}")
    set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L "${TC120MXS_SYSROOT}")
else()
    set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
    set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
    set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf
        -E LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC notes that the ARM calling convention for some std:: iterators changed in GCC 7.1;
# everything here is built by one compiler, so the note is noise.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
