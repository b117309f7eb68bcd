# Fails unless the plug-in module has the shape the board needs:
# - it needs only the C/C++ runtime (no simulation library, no framework library by name:
#   on the board the framework's own process provides those symbols);
# - it carries no RPATH or RUNPATH (a path into a build tree means nothing on the board);
# - every symbol it leaves undefined is either versioned by the C/C++ runtime or names a
#   class, function or namespace declared under host/. A plug-in function declared but
#   never defined, or a helper forgotten in a source list, is caught here, as -z defs
#   would catch it at link time.
# Arguments: -DREADELF= -DNM= -DMODULE= -DHOST_DIR= [-DSANITIZED=ON]
include(${CMAKE_CURRENT_LIST_DIR}/report_faults.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/symbol_name.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/binary_listing.cmake)
foreach(var READELF NM MODULE HOST_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_module_links.cmake needs -D${var}=")
    endif()
endforeach()

# 1. Dynamic section: NEEDED entries and run paths.
binary_listing(dynamic ${READELF} -d ${MODULE})
set(runtime_libs "^(libc\\.so\\.6|libstdc\\+\\+\\.so\\.6|libm\\.so\\.6|libgcc_s\\.so\\.1|ld-linux[-a-z0-9_.]*\\.so\\.[0-9]+)$")
set(sanitizer_libs "^lib(asan|ubsan|tsan|lsan)\\.so\\.[0-9]+$")
needed_libraries("${dynamic}" needed)
set(faults "")
foreach(library IN LISTS needed)
    if(NOT library MATCHES "${runtime_libs}"
       AND NOT (SANITIZED AND library MATCHES "${sanitizer_libs}"))
        list(APPEND faults "NEEDED ${library}: not part of the C/C++ runtime")
    endif()
endforeach()
if(dynamic MATCHES "\\((RPATH|RUNPATH)\\)[^[]*\\[([^]]*)\\]")
    list(APPEND faults "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}: the board has no such path")
endif()

# 2. Undefined dynamic symbols.
binary_listing(listing ${NM} -D -C --undefined-only ${MODULE})
file(GLOB_RECURSE host_headers ${HOST_DIR}/*.h)
set(host_text "")
foreach(header IN LISTS host_headers)
    file(READ ${header} text)
    string(APPEND host_text " ${text} ")
endforeach()

# Weak references the toolchain's start-up code emits into every shared object.
set(toolchain_weak "^(__gmon_start__|_ITM_deregisterTMCloneTable|_ITM_registerTMCloneTable)$")
set(sanitizer_symbols "^__(asan|ubsan|tsan|lsan|sanitizer|msan)_")
string(REPLACE "\n" ";" lines "${listing}")
set(runtime_count 0)
set(host_count 0)
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^ *[Uw] (.+)$")
        continue()
    endif()
    set(symbol "${CMAKE_MATCH_1}")
    if(symbol MATCHES "@(GLIBC|GLIBCXX|CXXABI|CXXABI_ARM|GCC)_[0-9.]+$")
        math(EXPR runtime_count "${runtime_count} + 1")
        continue()
    endif()
    if(symbol MATCHES "${toolchain_weak}" OR (SANITIZED AND symbol MATCHES "${sanitizer_symbols}"))
        continue()
    endif()
    # A sanitizer runtime defines its interceptors of C library functions (memset, strlen,
    # pthread_mutex_lock, __cxa_throw …) without a version, and the module binds to those.
    if(SANITIZED AND symbol MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
        math(EXPR runtime_count "${runtime_count} + 1")
        continue()
    endif()
    # The qualified name: no "vtable for", template arguments, ABI tags or parameter list.
    string(REGEX REPLACE "^(vtable|typeinfo|typeinfo name|VTT|construction vtable) for " ""
           name "${symbol}")
    string(REGEX REPLACE "^(non-)?virtual thunk to " "" name "${name}")
    bare_qualified_name("${name}" name)
    string(REPLACE "::" ";" components "${name}")
    set(unknown "")
    foreach(component IN LISTS components)
        string(REGEX REPLACE "^~" "" component "${component}")
        if(component MATCHES "^operator")
            continue()
        endif()
        if(NOT component MATCHES "^[A-Za-z_][A-Za-z0-9_]*$"
           OR NOT host_text MATCHES "[^A-Za-z0-9_]${component}[^A-Za-z0-9_]")
            set(unknown "${component}")
            break()
        endif()
    endforeach()
    if(unknown STREQUAL "")
        math(EXPR host_count "${host_count} + 1")
    else()
        list(APPEND faults "undefined ${symbol}: '${unknown}' is declared nowhere under host/")
    endif()
endforeach()

if(host_count EQUAL 0)
    list(APPEND faults "no framework symbol is undefined: is the simulation linked in?")
endif()
report_faults("${MODULE}" faults)
list(LENGTH needed needed_count)
message(STATUS "NEEDED (${needed_count}): ${needed}")
message(STATUS "undefined: ${runtime_count} from the C/C++ runtime, ${host_count} from host/")
