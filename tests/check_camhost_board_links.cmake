# Fails unless camhost-board needs nothing but the camera framework:
# - no sim:: symbol, imported or linked in (it uses the framework's interfaces only);
# - built against a framework other than the sim (FRAMEWORK set to ON), no libcamsim NEEDED;
#   in a development build libcamsim is its framework and must be NEEDED.
# Arguments: -DREADELF= -DNM= -DPROGRAM= -DFRAMEWORK=ON|OFF
include(${CMAKE_CURRENT_LIST_DIR}/report_faults.cmake)
foreach(var READELF NM PROGRAM FRAMEWORK)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_camhost_board_links.cmake needs -D${var}=")
    endif()
endforeach()

set(faults "")
execute_process(COMMAND ${READELF} -d ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${READELF} -d failed on ${PROGRAM}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^[]*\\[[^]]+\\]" needed_entries "${dynamic}")
set(needed "")
foreach(entry IN LISTS needed_entries)
    string(REGEX REPLACE ".*\\[([^]]+)\\]" "\\1" library "${entry}")
    list(APPEND needed ${library})
endforeach()
set(sim_needed "${needed}")
list(FILTER sim_needed INCLUDE REGEX "^libcamsim")
if(FRAMEWORK AND sim_needed)
    list(APPEND faults "NEEDED ${sim_needed}: built against another framework, it needs the sim")
elseif(NOT FRAMEWORK AND NOT sim_needed)
    list(APPEND faults "no libcamsim NEEDED: in a development build the sim is its framework")
endif()

# Every symbol, the dynamic ones and those linked in: none may be the sim's.
foreach(table "-D;--undefined-only" "")
    execute_process(COMMAND ${NM} -C ${table} ${PROGRAM} OUTPUT_VARIABLE listing
                    ERROR_VARIABLE ignored RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${NM} ${table} failed on ${PROGRAM}")
    endif()
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
