# Fails unless camhost-board needs nothing but the camera framework:
# - no sim:: symbol, imported or linked in (it uses the framework's interfaces only);
# - built against a framework other than the sim (FRAMEWORK set to ON), no libcamsim NEEDED;
#   in a development build libcamsim is its framework and must be NEEDED.
# Arguments: -DREADELF= -DNM= -DPROGRAM= -DFRAMEWORK=ON|OFF
include(${CMAKE_CURRENT_LIST_DIR}/report_faults.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/binary_listing.cmake)
foreach(var READELF NM PROGRAM FRAMEWORK)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_camhost_board_links.cmake needs -D${var}=")
    endif()
endforeach()

set(faults "")
binary_listing(dynamic ${READELF} -d ${PROGRAM})
needed_libraries("${dynamic}" needed)
set(sim_needed "${needed}")
list(FILTER sim_needed INCLUDE REGEX "^libcamsim")
if(FRAMEWORK AND sim_needed)
    list(APPEND faults "NEEDED ${sim_needed}: built against another framework, it needs the sim")
elseif(NOT FRAMEWORK AND NOT sim_needed)
    list(APPEND faults "no libcamsim NEEDED: in a development build the sim is its framework")
endif()

# Every symbol, the dynamic ones and those linked in: none may be the sim's.
foreach(table "-D;--undefined-only" "")
    binary_listing(listing ${NM} -C ${table} ${PROGRAM})
    string(REPLACE "\n" ";" lines "${listing}")
    foreach(line IN LISTS lines)
        if(line MATCHES "[ (<,]sim::")
            list(APPEND faults "${line}: a symbol of the sim")
        endif()
    endforeach()
endforeach()
list(REMOVE_DUPLICATES faults)
report_faults("${PROGRAM}" faults)
message(STATUS "NEEDED: ${needed}")
