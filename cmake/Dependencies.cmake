# Third-party pieces, all from Debian's packages.
find_package(Threads REQUIRED)
if(TC120MXS_PLUGIN_ONLY)
    return() # the module needs nothing else
endif()

if(CMAKE_CROSSCOMPILING)
    # Static archives from the armhf multiarch packages, so that the binaries need only
    # the cross toolchain's own C and C++ runtime under qemu.
    set(_multiarch_dir /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
    find_library(INIH_LIBRARY NAMES libinih.a PATHS ${_multiarch_dir} NO_DEFAULT_PATH
                 NO_CMAKE_FIND_ROOT_PATH REQUIRED)
else()
    find_library(INIH_LIBRARY NAMES inih REQUIRED)
endif()
# ini.h is the same for every architecture; a copy keeps the host's /usr/include out of
# cross builds.
find_file(INIH_HEADER ini.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
configure_file(${INIH_HEADER} ${CMAKE_BINARY_DIR}/inih/ini.h COPYONLY)
set(INIH_INCLUDE_DIR ${CMAKE_BINARY_DIR}/inih)

# camhost's command line and its JSON report. Both are header-only and the same for every
# architecture, so a cross build takes Debian's configurations from the host's tree.
find_package(CLI11 CONFIG REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_package(nlohmann_json CONFIG REQUIRED NO_CMAKE_FIND_ROOT_PATH)

if(TC120MXS_BUILD_TESTS)
    if(CMAKE_CROSSCOMPILING)
        # GoogleTest from Debian's sources, built by the cross compiler: no second armhf
        # C library next to the toolchain's.
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        # Newer googletest sources define the GTest:: aliases themselves.
        if(NOT TARGET GTest::gtest)
            add_library(GTest::gtest ALIAS gtest)
            add_library(GTest::gtest_main ALIAS gtest_main)
            add_library(GTest::gmock ALIAS gmock)
        endif()
    else()
        find_package(GTest REQUIRED)
    endif()
    include(GoogleTest)
endif()
