# Runs frameworkprobe (or boardprobe) against the stand-in framework and fails unless it names
# exactly the assumptions expected to fail (none: exit status 0 and "0 failed"), and reports
# exactly the ones expected not to be checkable here, besides the hardware-only sizes.
# Arguments: -DPROBE= [-DEMULATOR=] [-DREGFILE=direct|locked|thread] [-DBROKEN=fault,...]
#            [-DSIM=camhost's --sim keys, blank-separated] [-DARGS=probe argument;...]
#            [-DEXPECT_FAILED=assumption;...] [-DEXPECT_NOT_CHECKABLE=assumption;...]
#            [-DEXPECT_INFO=start of an INFO line]
include(${CMAKE_CURRENT_LIST_DIR}/../report_faults.cmake)
if(NOT DEFINED PROBE)
    message(FATAL_ERROR "run_probe.cmake needs -DPROBE=")
endif()
set(environment CAMSIM_REGFILE=${REGFILE} CAMSIM_BROKEN=${BROKEN} "CAMSIM_SIM=${SIM}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${environment} ${EMULATOR} ${PROBE} ${ARGS}
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status
                TIMEOUT 50)
message(STATUS "CAMSIM_REGFILE=${REGFILE} CAMSIM_BROKEN=${BROKEN} CAMSIM_SIM=${SIM}\n${output}${errors}")

set(faults "")
string(REGEX MATCHALL "failed: [^\n]+" failed_lines "${output}")
list(TRANSFORM failed_lines REPLACE "^failed: " "")
# The assumption runs up to ": not checkable" (it may hold "::" itself); a ";" in a reason
# would split CMake's list.
string(REPLACE ";" "," flat_output "${output}")
string(REGEX MATCHALL "\nN/A   [^\n]+" not_checkable "${flat_output}")
list(TRANSFORM not_checkable REPLACE "^\nN/A   " "")
list(TRANSFORM not_checkable REPLACE ": not checkable in this process:.*$" "")
list(FILTER not_checkable EXCLUDE REGEX "^sizes of tcPwm")
# An expectation left empty for this platform (no robust futexes under qemu-user) is none.
list(REMOVE_ITEM EXPECT_FAILED "")
list(REMOVE_ITEM EXPECT_NOT_CHECKABLE "")
list(SORT failed_lines)
list(SORT EXPECT_FAILED)
list(SORT not_checkable)
list(SORT EXPECT_NOT_CHECKABLE)
if(NOT "${failed_lines}" STREQUAL "${EXPECT_FAILED}")
    list(APPEND faults "named as failing: '${failed_lines}', expected: '${EXPECT_FAILED}'")
endif()
if(NOT "${not_checkable}" STREQUAL "${EXPECT_NOT_CHECKABLE}")
    list(APPEND faults "not checkable: '${not_checkable}', expected: '${EXPECT_NOT_CHECKABLE}'")
endif()
list(LENGTH EXPECT_FAILED failing)
if(failing EQUAL 0)
    set(expected_status 0)
else()
    set(expected_status 1)
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
    list(APPEND faults "exit status ${status}, expected ${expected_status}")
endif()
if(NOT output MATCHES "\n[0-9]+ checked, ${failing} failed, [0-9]+ not checkable\n")
    list(APPEND faults "no total line with ${failing} failed")
endif()
if(EXPECT_INFO)
    string(FIND "${output}" "\n${EXPECT_INFO}" info_at)
    if(info_at EQUAL -1)
        list(APPEND faults "no line starting '${EXPECT_INFO}'")
    endif()
endif()
get_filename_component(probe_name "${PROBE}" NAME)
report_faults("${probe_name} (CAMSIM_REGFILE=${REGFILE} CAMSIM_BROKEN=${BROKEN} CAMSIM_SIM=${SIM})"
              faults)
