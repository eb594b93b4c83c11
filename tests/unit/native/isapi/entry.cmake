# The connector's ISAPI entry points without Java: the filter and the extension when the
# engine cannot start.
brevant_unit_test(isapi_entry_tests
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/entry/entry_points_test.cpp
    LIBS brevant_isapi_entry brevant_isapi_bridge brevant_isapi_iisconfig brevant_isapi_config brevant_isapi_jvm
         brevant_isapi_registry brevant_isapi_log ${CMAKE_DL_LIBS})
