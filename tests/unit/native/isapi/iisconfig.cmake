# The server settings read from IIS and the filter's registration in the metabase (the log's
# objects named as well: an object library's objects are not passed on to its users).
brevant_unit_test(isapi_iisconfig_tests
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/iisconfig/server_settings_test.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/iisconfig/filter_registration_test.cpp
    LIBS brevant_isapi_iisconfig brevant_isapi_registry brevant_isapi_log)
