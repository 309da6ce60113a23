zarn_unit_test(hashtable_test ${CMAKE_CURRENT_LIST_DIR}/hashtable_test.cpp)
zarn_unit_test(connectionmanager_test ${CMAKE_CURRENT_LIST_DIR}/connectionmanager_test.cpp)
zarn_db_test(connectionmanager_db_test ${CMAKE_CURRENT_LIST_DIR}/connectionmanager_db_test.cpp)
