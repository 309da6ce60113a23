zarn_unit_test(hashtable_test ${CMAKE_CURRENT_LIST_DIR}/hashtable_test.cpp)
