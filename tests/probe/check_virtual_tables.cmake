# The integrator's virtual-table check works: the listing of the headers under host/ is the
# checked-in one, and a copy of host/ whose tcSensorBoard has setExposure and getExposure in
# each other's place (a framework header with one operation moved) fails, naming both.
# Arguments: -DCXX= -DHOST_DIR= -DPROBE_DIR= -DWORK_DIR=
include(${CMAKE_CURRENT_LIST_DIR}/../report_faults.cmake)
# The check as the integrator runs it, against the headers in a directory.
function(check_tables include_dir)
    execute_process(COMMAND ${CMAKE_COMMAND} -DCXX=${CXX} -DINCLUDE_DIR=${include_dir}
                            -DEXPECTED=${PROBE_DIR}/VirtualTables.txt
                            -P ${PROBE_DIR}/virtual_tables.cmake
                    RESULT_VARIABLE status ERROR_VARIABLE errors)
    set(status "${status}" PARENT_SCOPE)
    set(errors "${errors}" PARENT_SCOPE)
endfunction()
set(faults "")

check_tables(${HOST_DIR})
if(NOT status EQUAL 0)
    list(APPEND faults "host/ differs from VirtualTables.txt (regenerate it with -DWRITE=):\n${errors}")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(COPY ${HOST_DIR}/ DESTINATION ${WORK_DIR})
file(READ ${WORK_DIR}/Vistrel/tcSensorBoard.h header)
string(REGEX REPLACE "( *virtual int setExposure\\(int microseconds\\);\n)( *virtual int getExposure\\(\\);\n)"
       "\\2\\1" moved "${header}")
if(moved STREQUAL header)
    list(APPEND faults "could not move setExposure in a copy of tcSensorBoard.h")
endif()
file(WRITE ${WORK_DIR}/Vistrel/tcSensorBoard.h "${moved}")
check_tables(${WORK_DIR})
if(status EQUAL 0)
    list(APPEND faults "passes a tcSensorBoard with setExposure moved")
endif()
foreach(operation setExposure getExposure)
    if(NOT errors MATCHES "found +Vistrel::tcSensorBoard: +[0-9]+ Vistrel::tcSensorBoard::${operation}")
        list(APPEND faults "does not name tcSensorBoard::${operation} in its new place:\n${errors}")
    endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
report_faults("virtual_tables.cmake" faults)
message(STATUS "virtual_tables.cmake passes host/ and names the moved operations")
