zarn_unit_test(getiniinfo_test ${CMAKE_CURRENT_LIST_DIR}/getiniinfo_test.cpp)
