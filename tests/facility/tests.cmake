zarn_unit_test(slot_test ${CMAKE_CURRENT_LIST_DIR}/slot_test.cpp)
zarn_db_test(utility_test ${CMAKE_CURRENT_LIST_DIR}/utility_test.cpp)
zarn_db_test(audit_test ${CMAKE_CURRENT_LIST_DIR}/audit_test.cpp)
zarn_db_test(datastore_test ${CMAKE_CURRENT_LIST_DIR}/datastore_test.cpp)
