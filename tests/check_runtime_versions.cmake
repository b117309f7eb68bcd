# Fails when the plug-in module needs a newer C library, libstdc++ or C++ ABI than the README
# states (the oldest the board's root file system may have), or when the README states none.
# The versions needed are read from the module's version references (readelf -V).
# Arguments: -DREADELF= -DMODULE= -DREADME=
include(${CMAKE_CURRENT_LIST_DIR}/report_faults.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/binary_listing.cmake)
foreach(var READELF MODULE README)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_runtime_versions.cmake needs -D${var}=")
    endif()
endforeach()

binary_listing(versions ${READELF} -V --wide ${MODULE})
file(READ ${README} readme)

set(faults "")
set(summary "")
foreach(family GLIBC GLIBCXX CXXABI)
    # What the README states, written `FAMILY_x.y`.
    if(NOT readme MATCHES "`${family}_([0-9.]+)`")
        list(APPEND faults "${README} states no `${family}_...` version")
        continue()
    endif()
    set(stated "${CMAKE_MATCH_1}")
    # The newest the module references.
    string(REGEX MATCHALL "Name: ${family}_[0-9.]+" references "${versions}")
    set(newest "")
    foreach(reference IN LISTS references)
        string(REGEX REPLACE "^Name: ${family}_" "" version "${reference}")
        if(newest STREQUAL "" OR version VERSION_GREATER newest)
            set(newest "${version}")
        endif()
    endforeach()
    if(newest STREQUAL "")
        list(APPEND faults "${MODULE} references no ${family} version: is it a C++ module at all?")
    elseif(newest VERSION_GREATER stated)
        list(APPEND faults "needs ${family}_${newest}, newer than the ${family}_${stated} ${README} states")
    endif()
    list(APPEND summary "${family}_${newest} (stated ${family}_${stated})")
endforeach()
report_faults("${MODULE} needs a newer runtime than the README states" faults)
string(REPLACE ";" ", " summary "${summary}")
message(STATUS "runtime needed: ${summary}")
