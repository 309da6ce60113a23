zarn_unit_test(slot_test ${CMAKE_CURRENT_LIST_DIR}/slot_test.cpp)
