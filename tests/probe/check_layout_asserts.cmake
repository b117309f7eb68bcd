# The integrator's layout check works: LayoutAsserts.cpp compiles against the declarations
# under host/, and fails, naming the fields, against a copy whose tsSPIConfiguration has
# lsbFirst and bitsPerWord in each other's place (a framework header of another order).
# Arguments: -DCXX= -DHOST_DIR= -DPROBE_DIR= -DWORK_DIR=
include(${CMAKE_CURRENT_LIST_DIR}/../report_faults.cmake)
set(compile ${CXX} -std=c++17 -fsyntax-only -D_FILE_OFFSET_BITS=64 -I${PROBE_DIR})
set(faults "")

execute_process(COMMAND ${compile} -I${HOST_DIR} ${PROBE_DIR}/LayoutAsserts.cpp
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    list(APPEND faults "fails against host/ itself:\n${errors}")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(COPY ${HOST_DIR}/ DESTINATION ${WORK_DIR})
file(READ ${WORK_DIR}/tcSPIDevice.h header)
string(REGEX REPLACE "(uint8_t lsbFirst = 0;[^\n]*\n)( *uint8_t bitsPerWord = 0;[^\n]*\n)"
       "\\2\\1" swapped "${header}")
if(swapped STREQUAL header)
    list(APPEND faults "could not swap the fields in a copy of tcSPIDevice.h")
endif()
file(WRITE ${WORK_DIR}/tcSPIDevice.h "${swapped}")
execute_process(COMMAND ${compile} -I${WORK_DIR} ${PROBE_DIR}/LayoutAsserts.cpp
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(status EQUAL 0)
    list(APPEND faults "compiles against a tsSPIConfiguration with swapped fields")
endif()
foreach(field lsbFirst bitsPerWord)
    if(NOT errors MATCHES "tsSPIConfiguration::${field}: the framework's headers and the plug-in's differ")
        list(APPEND faults "does not name tsSPIConfiguration::${field}")
    endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
report_faults("LayoutAsserts.cpp" faults)
message(STATUS "LayoutAsserts.cpp passes against host/ and names both swapped fields")
