# Lists the framework's virtual tables as a set of headers gives them (VirtualTables.cpp,
# compiled with GCC's -fdump-lang-class), and writes the listing or compares it with one.
# Each class's table is one line per entry: its index and what it holds; the offsets to the
# top of the object and the thunks' adjustments are left out (they differ between 32 and
# 64 bits, and LayoutAsserts.cpp checks the layout). A pure virtual operation is listed as
# such: GCC does not name it.
# Arguments: -DCXX=g++ -DINCLUDE_DIR=dir [-DFLAGS=flag;...] and -DWRITE=file or -DEXPECTED=file
cmake_policy(SET CMP0057 NEW) # IN_LIST
foreach(var CXX INCLUDE_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "virtual_tables.cmake needs -D${var}=")
    endif()
endforeach()
if(NOT DEFINED WRITE AND NOT DEFINED EXPECTED)
    message(FATAL_ERROR "virtual_tables.cmake needs -DWRITE= or -DEXPECTED=")
endif()

string(RANDOM LENGTH 8 tag)
set(dump "${CMAKE_CURRENT_BINARY_DIR}/virtual-tables-${tag}.class")
execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only -D_FILE_OFFSET_BITS=64 ${FLAGS}
                        -I${INCLUDE_DIR} -fdump-lang-class=${dump}
                        ${CMAKE_CURRENT_LIST_DIR}/VirtualTables.cpp
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT EXISTS ${dump})
    file(REMOVE ${dump})
    message(FATAL_ERROR "cannot compile VirtualTables.cpp against ${INCLUDE_DIR} with ${CXX} "
                        "(GCC is needed for -fdump-lang-class):\n${errors}")
endif()
file(STRINGS ${dump} lines)
file(REMOVE ${dump})

# The tables of the framework's classes: Vistrel::, Tarnis:: and the FPGA cores (tc...).
set(listing "")
set(inside OFF)
set(index 0)
foreach(line IN LISTS lines)
    if(line MATCHES "^Vtable for ((Vistrel|Tarnis)::[A-Za-z0-9_:]+|tc[A-Za-z0-9_]+)$")
        set(inside ON)
        set(index 0)
        string(APPEND listing "${CMAKE_MATCH_1}\n")
    elseif(inside AND line MATCHES "^[0-9]+ +(.*)$")
        set(entry "${CMAKE_MATCH_1}")
        string(REGEX REPLACE "^\\(int \\(\\*\\)\\(\\.\\.\\.\\)\\)" "" entry "${entry}")
        string(REGEX REPLACE "^-[0-9]+$" "(offset to top)" entry "${entry}")
        string(REGEX REPLACE "_ZThn[0-9]+_" "_ZThn_" entry "${entry}")
        string(REGEX REPLACE "^__cxa_pure_virtual$" "(pure virtual)" entry "${entry}")
        string(APPEND listing "  ${index} ${entry}\n")
        math(EXPR index "${index} + 1")
    elseif(inside AND NOT line MATCHES "_ZTV")
        set(inside OFF)
    endif()
endforeach()

if(DEFINED WRITE)
    file(WRITE ${WRITE} "${listing}")
    message(STATUS "virtual tables of ${INCLUDE_DIR} written to ${WRITE}")
    return()
endif()

# Compared entry by entry, each under its class: the order the classes come in is the
# headers' own and does not matter.
function(qualified_entries text out_var)
    string(REPLACE "\n" ";" text_lines "${text}")
    set(entries "")
    foreach(line IN LISTS text_lines)
        if(line MATCHES "^[^ ]")
            set(class "${line}")
        elseif(NOT line STREQUAL "")
            list(APPEND entries "${class}:${line}")
        endif()
    endforeach()
    set(${out_var} "${entries}" PARENT_SCOPE)
endfunction()
file(READ ${EXPECTED} expected)
qualified_entries("${listing}" got)
qualified_entries("${expected}" wanted)
set(differences "")
foreach(entry IN LISTS wanted)
    if(NOT entry IN_LIST got)
        list(APPEND differences "expected ${entry}")
    endif()
endforeach()
foreach(entry IN LISTS got)
    if(NOT entry IN_LIST wanted)
        list(APPEND differences "found    ${entry}")
    endif()
endforeach()
if(NOT differences)
    message(STATUS "the virtual tables of ${INCLUDE_DIR} are those of ${EXPECTED}")
    return()
endif()
list(JOIN differences "\n  " text)
message(FATAL_ERROR "the virtual tables of ${INCLUDE_DIR} differ from ${EXPECTED}: the plug-in "
                    "would call the wrong operations\n  ${text}")
