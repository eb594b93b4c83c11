# The engine bridge's parts that need no VM.
brevant_unit_test(isapi_bridge_tests
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bridge/request_handles_test.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/bridge/isapi_native_lib_test.cpp
    LIBS brevant_isapi_bridge brevant_isapi_iisconfig brevant_isapi_config brevant_isapi_jvm brevant_isapi_registry brevant_isapi_log
         ${CMAKE_DL_LIBS})

# The module with the installed JDK and the test engine, left out of the AddressSanitizer build.
if(NOT BREVANT_ADDRESS_SANITIZER)
    find_package(Java 11 REQUIRED COMPONENTS Development)
    include(UseJava)
    set(CMAKE_JAVA_COMPILE_FLAGS --release 11 -Xlint:all -Werror)
    add_jar(brevant_test_engine
        SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bridge/test_engine/com/orlena/tessel/brevant/Brevant.java
        INCLUDE_JARS brevant_engine
        OUTPUT_NAME BrevantTestEngine
        OUTPUT_DIR ${CMAKE_BINARY_DIR}/tests/java)
    add_executable(isapi_engine_bridge_tests ${CMAKE_CURRENT_SOURCE_DIR}/bridge/engine_bridge_test.cpp)
    brevant_own_code(isapi_engine_bridge_tests)
    target_compile_definitions(isapi_engine_bridge_tests PRIVATE
        BREVANT_TEST_JDK_HOME="${BREVANT_JDK_HOME}"
        BREVANT_ISAPI_MODULE="$<TARGET_FILE:Brevant_ISAPI>"
        TEST_ENGINE_JAR="${CMAKE_BINARY_DIR}/tests/java/BrevantTestEngine.jar"
        ENGINE_JAR="${BREVANT_OUT}/java/Brevant30.jar")
    target_link_libraries(isapi_engine_bridge_tests PRIVATE brevant_gtest_main standin_win32
                          brevant_jni_headers
                          ${CMAKE_DL_LIBS})
    add_dependencies(isapi_engine_bridge_tests Brevant_ISAPI brevant_test_engine brevant_engine)
    set_target_properties(isapi_engine_bridge_tests PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${BREVANT_TEST_DIR})
    add_test(NAME isapi_engine_bridge_tests COMMAND isapi_engine_bridge_tests)
    set_tests_properties(isapi_engine_bridge_tests PROPERTIES LABELS integration TIMEOUT 300)
endif()
