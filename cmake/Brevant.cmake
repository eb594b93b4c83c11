# Build conventions shared by every target of the project.
#
#   brevant_own_code(target)      warnings as errors (and sanitizers when enabled)
#   brevant_module(target DEF file SOURCES ... [OUTPUT_DIRECTORY dir])
#                                 an ISAPI/JNI module: "<name>.dll" on both platforms, in
#                                 out/modules unless told otherwise; on Windows its exports
#                                 come from the module-definition file
#   brevant_program(target SOURCES ...)
#                                 a program: "<name>.exe" in out/ on Windows, "<name>" in
#                                 out/bin on Linux, there on the Win32 stand-in
#   brevant_unit_test(name SOURCES ... [LIBS ...])
#                                 a GoogleTest executable registered with the label "unit"

set(BREVANT_OUT ${CMAKE_BINARY_DIR}/out)
set(BREVANT_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

if(WIN32)
    set(BREVANT_BIN_DIR ${BREVANT_OUT})
    set(BREVANT_MODULE_DIR ${BREVANT_OUT})
    set(BREVANT_TEST_DIR ${BREVANT_OUT}/tests)
else()
    set(BREVANT_BIN_DIR ${BREVANT_OUT}/bin)
    set(BREVANT_MODULE_DIR ${BREVANT_OUT}/modules)
    set(BREVANT_LIB_DIR ${BREVANT_OUT}/lib)
    set(BREVANT_TEST_DIR ${CMAKE_BINARY_DIR}/tests/bin)
endif()

# BREVANT_SANITIZE: ON for AddressSanitizer and UndefinedBehaviorSanitizer, "thread" for
# ThreadSanitizer; BREVANT_ADDRESS_SANITIZER or BREVANT_THREAD_SANITIZER tells which.
if(BREVANT_SANITIZE STREQUAL "thread")
    set(BREVANT_THREAD_SANITIZER ON)
    set(BREVANT_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
    # GCC 12 warns that ThreadSanitizer does not model std::atomic_thread_fence, which
    # Boost.Asio's headers use; the fences are theirs, the warning cannot be acted on.
    add_compile_options(${BREVANT_SANITIZER_FLAGS} -Wno-tsan)
    add_link_options(${BREVANT_SANITIZER_FLAGS})
elseif(BREVANT_SANITIZE)
    set(BREVANT_ADDRESS_SANITIZER ON)
    set(BREVANT_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                                -fno-omit-frame-pointer)
    # GCC 12 reports "may be used uninitialized" wrongly in instrumented code (in
    # std::function, Boost.Beast, ...); the ordinary build keeps the warning.
    add_compile_options(${BREVANT_SANITIZER_FLAGS} -Wno-maybe-uninitialized)
    add_link_options(${BREVANT_SANITIZER_FLAGS})
endif()

if(BREVANT_FUZZ)
    # The product code carries libFuzzer's coverage counters and both sanitizers; only the
    # fuzz targets themselves link libFuzzer (brevant_fuzz_target in tests/fuzz).
    set(BREVANT_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                                -fno-omit-frame-pointer)
    add_compile_options(-fsanitize=fuzzer-no-link ${BREVANT_SANITIZER_FLAGS})
    add_link_options(${BREVANT_SANITIZER_FLAGS})
endif()

if(WIN32)
    # Every deliverable is one file: no libgcc, libstdc++ or winpthread DLL beside it.
    add_link_options(-static)
endif()

function(brevant_own_code target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Module-definition files are written in their i686 form: "Name = Name@N" exports a
# stdcall function under its plain name, "_Name@N = Name@N" under the decorated name a
# 32-bit JVM looks up. On x86_64 there is no decoration: every export is the plain
# internal name.
function(brevant_x64_def_file def_in def_out)
    file(STRINGS ${def_in} lines)
    set(result "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[ \t]+[^ \t;]")
            string(REGEX REPLACE "^.*=[ \t]*" "" internal "${line}")
            string(STRIP "${internal}" internal)
            string(REGEX REPLACE "@[0-9]+$" "" internal "${internal}")
            string(APPEND result "    ${internal}\n")
        else()
            string(APPEND result "${line}\n")
        endif()
    endforeach()
    file(WRITE ${def_out} "${result}")
endfunction()

function(brevant_module target)
    cmake_parse_arguments(ARG "" "DEF;OUTPUT_DIRECTORY" "SOURCES" ${ARGN})
    if(NOT ARG_OUTPUT_DIRECTORY)
        set(ARG_OUTPUT_DIRECTORY ${BREVANT_MODULE_DIR})
    endif()
    add_library(${target} SHARED ${ARG_SOURCES})
    brevant_own_code(${target})
    set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".dll"
        LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
        RUNTIME_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
    if(WIN32)
        if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
            set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.x64.def)
            brevant_x64_def_file(${ARG_DEF} ${def})
        else()
            set(def ${ARG_DEF})
        endif()
        target_sources(${target} PRIVATE ${def})
        # The export check of the windows tests reads this list.
        file(APPEND ${BREVANT_OUT}/exports.manifest "${ARG_OUTPUT_DIRECTORY}/${target}.dll ${ARG_DEF}\n")
    else()
        target_link_libraries(${target} PRIVATE standin_win32)
        # The stand-in library sits in out/lib, beside out/modules: a copied out/ still runs.
        set_target_properties(${target} PROPERTIES BUILD_RPATH "\$ORIGIN/../lib")
    endif()
endfunction()

function(brevant_program target)
    cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    brevant_own_code(${target})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BREVANT_BIN_DIR})
    if(NOT WIN32)
        target_link_libraries(${target} PRIVATE standin_win32)
        # The stand-in library sits in out/lib, beside out/bin: a copied out/ still runs.
        set_target_properties(${target} PROPERTIES BUILD_RPATH "\$ORIGIN/../lib")
    endif()
endfunction()

function(brevant_unit_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    brevant_own_code(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} brevant_gtest_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BREVANT_TEST_DIR})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS unit)
endfunction()
