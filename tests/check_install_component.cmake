# Installs the "plugin" component into PREFIX and fails unless it holds exactly what the
# board needs: the module and the configuration files it reads, and no simulation library,
# camhost or camhost script.
# Arguments: -DBUILD_DIR= -DPREFIX=
include(${CMAKE_CURRENT_LIST_DIR}/report_faults.cmake)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component plugin
                        --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install --component plugin failed")
endif()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
set(faults "")
foreach(wanted libtc120mxs.so 120mxs_config.ini 120mxs_sensor.ini 120MXS_registers.txt
               bad_pixel_map.txt version/serial.txt README-before-first-power.md)
    string(REGEX REPLACE "([.+])" "\\\\\\1" pattern "${wanted}")
    set(found OFF)
    foreach(file IN LISTS installed)
        if(file MATCHES "(^|/)${pattern}$")
            set(found ON)
        endif()
    endforeach()
    if(NOT found)
        list(APPEND faults "missing ${wanted}")
    endif()
endforeach()
foreach(file IN LISTS installed)
    if(file MATCHES "camsim|camhost|boardframework|\\.cam$")
        list(APPEND faults "development file ${file}")
    endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
report_faults("--component plugin" faults)
list(LENGTH installed count)
message(STATUS "--component plugin installs ${count} files")
