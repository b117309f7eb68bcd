# bare_qualified_name(SYMBOL OUT): a demangled symbol's qualified name without ABI tags, its
# parameter list or template arguments ("Vistrel::tcPwm::setPeriodTime"), for the checks that
# classify what the module needs.
function(bare_qualified_name symbol out)
    string(REGEX REPLACE "\\[abi:[a-z0-9]+\\]" "" name "${symbol}")
    string(FIND "${name}" "(" paren)
    if(paren GREATER 0)
        string(SUBSTRING "${name}" 0 ${paren} name)
    endif()
    set(previous "")
    while(NOT name STREQUAL previous)
        set(previous "${name}")
        string(REGEX REPLACE "<[^<>]*>" "" name "${name}")
    endwhile()
    set(${out} "${name}" PARENT_SCOPE)
endfunction()
