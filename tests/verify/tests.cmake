zarn_unit_test(slotexpectations_test ${CMAKE_CURRENT_LIST_DIR}/slotexpectations_test.cpp)

zarn_db_test(verify_test ${CMAKE_CURRENT_LIST_DIR}/verify_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../preview/DemoDatabases.cpp)
zarn_odbc_run(verify_test_odbc verify_test)
zarn_mariadb_run(verify_test_mariadb verify_test)
