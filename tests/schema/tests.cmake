zarn_db_test(schema_test ${CMAKE_CURRENT_LIST_DIR}/schema_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/procedures_test.cpp ${CMAKE_CURRENT_LIST_DIR}/generator_test.cpp)
