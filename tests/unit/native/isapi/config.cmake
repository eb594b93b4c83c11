# configuration reader tests (an object library's objects are not passed on to its users:
# the log's are named here as well)
brevant_unit_test(isapi_config_tests
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/config/configuration_test.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/config/config_settings_test.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/config/config_lines_test.cpp
    LIBS brevant_isapi_config brevant_isapi_jvm brevant_isapi_registry brevant_isapi_log)
