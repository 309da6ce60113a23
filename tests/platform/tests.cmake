zarn_unit_test(value_test ${CMAKE_CURRENT_LIST_DIR}/value_test.cpp)
