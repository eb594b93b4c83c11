# JVM host tests: discovery, loading and creation against fake VM libraries, and, outside
# the AddressSanitizer build, the real JDK.
set(vm_tests ${CMAKE_CURRENT_SOURCE_DIR}/jvm)
set(fake_jvm_sources ${vm_tests}/fake_jvm/fake_jvm.cpp)
set(fake_jvm_output ${CMAKE_CURRENT_BINARY_DIR}/fake_jvm)

# A fake VM library; the tests copy it into fake Java homes as lib/server/libjvm.so.
function(brevant_fake_jvm target)
    cmake_parse_arguments(ARG "" "" "DEFINITIONS" ${ARGN})
    add_library(${target} SHARED ${fake_jvm_sources})
    brevant_own_code(${target})
    target_compile_definitions(${target} PRIVATE ${ARG_DEFINITIONS})
    target_link_libraries(${target} PRIVATE brevant_jni_headers)
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${fake_jvm_output})
endfunction()

brevant_fake_jvm(FakeJvm)
brevant_fake_jvm(FakeJvmWithoutDefaults DEFINITIONS FAKE_JVM_WITHOUT_DEFAULTS)
brevant_fake_jvm(FakeJvmWithoutCreate DEFINITIONS FAKE_JVM_WITHOUT_CREATE)
brevant_fake_jvm(FakeJvmWithoutCreated DEFINITIONS FAKE_JVM_WITHOUT_CREATED)
# The Microsoft VM is loaded by name: Windows, and the stand-in, look beside the program.
brevant_fake_jvm(FakeMsJava DEFINITIONS FAKE_JVM_MICROSOFT)
set_target_properties(FakeMsJava PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${BREVANT_TEST_DIR}
                      OUTPUT_NAME msjava PREFIX "" SUFFIX ".dll")

brevant_unit_test(isapi_vm_tests
    SOURCES ${vm_tests}/java_discovery_test.cpp
            ${vm_tests}/java_library_test.cpp
            ${vm_tests}/jvm_library_paths_test.cpp
            ${vm_tests}/vm_creation_test.cpp
            ${vm_tests}/vm_attach_test.cpp
            ${vm_tests}/vm_hooks_test.cpp
    LIBS brevant_isapi_config brevant_isapi_jvm brevant_isapi_registry brevant_isapi_log ${CMAKE_DL_LIBS})
target_compile_definitions(isapi_vm_tests PRIVATE
    FAKE_JVM_COMPLETE="$<TARGET_FILE:FakeJvm>"
    FAKE_JVM_WITHOUT_DEFAULTS="$<TARGET_FILE:FakeJvmWithoutDefaults>"
    FAKE_JVM_WITHOUT_CREATE="$<TARGET_FILE:FakeJvmWithoutCreate>"
    FAKE_JVM_WITHOUT_CREATED="$<TARGET_FILE:FakeJvmWithoutCreated>")
add_dependencies(isapi_vm_tests FakeJvm FakeJvmWithoutDefaults FakeJvmWithoutCreate
                 FakeJvmWithoutCreated FakeMsJava)

# The installed JDK, left out of the AddressSanitizer build (a VM does not run under it).
if(NOT BREVANT_ADDRESS_SANITIZER)
    add_executable(isapi_real_jvm_tests ${vm_tests}/real_jdk/real_jvm_test.cpp)
    brevant_own_code(isapi_real_jvm_tests)
    target_compile_definitions(isapi_real_jvm_tests PRIVATE
        BREVANT_TEST_JDK_HOME="${BREVANT_JDK_HOME}")
    target_link_libraries(isapi_real_jvm_tests PRIVATE brevant_isapi_config brevant_isapi_jvm brevant_isapi_registry
                          brevant_isapi_log brevant_gtest_main Threads::Threads)
    set_target_properties(isapi_real_jvm_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BREVANT_TEST_DIR})
    add_test(NAME isapi_real_jvm_tests COMMAND isapi_real_jvm_tests)
    set_tests_properties(isapi_real_jvm_tests PROPERTIES LABELS integration TIMEOUT 600)
endif()
