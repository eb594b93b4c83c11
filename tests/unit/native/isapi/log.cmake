# The native log of Brevant_ISAPI.
brevant_unit_test(isapi_log_tests SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/log/native_log_test.cpp LIBS brevant_isapi_log)
