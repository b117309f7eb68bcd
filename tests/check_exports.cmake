# Fails unless the plug-in module's dynamic symbol table defines exactly the two entry
# points: any other defined symbol (a template instantiation, a host class's inline
# function, a sim symbol pulled in by mistake) would clash with the framework's own.
include(${CMAKE_CURRENT_LIST_DIR}/binary_listing.cmake)
binary_listing(listing ${NM} -D --defined-only ${MODULE})
string(REPLACE "\n" ";" lines "${listing}")
set(names "")
foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
        list(APPEND names "${CMAKE_MATCH_1}")
    endif()
endforeach()
list(SORT names)
if(NOT names STREQUAL "makeSensor;sensorType")
    message(FATAL_ERROR "exported symbols are [${names}], expected exactly makeSensor and sensorType")
endif()
message(STATUS "exports: ${names}")
