# For the check scripts: stops with every fault in the list named list_var, one a line
# under heading; nothing when the list is empty.
function(report_faults heading list_var)
    if(${list_var})
        string(REPLACE ";" "\n  " report "${${list_var}}")
        message(FATAL_ERROR "${heading}:\n  ${report}")
    endif()
endfunction()
