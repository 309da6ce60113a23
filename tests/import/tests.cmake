zarn_db_test(reader_test ${CMAKE_CURRENT_LIST_DIR}/reader_test.cpp)
zarn_db_test(locations_test ${CMAKE_CURRENT_LIST_DIR}/locations_test.cpp)
zarn_db_test(variables_test ${CMAKE_CURRENT_LIST_DIR}/variables_test.cpp)
# The steps that write the audit trail inside their own transactions, through ODBC as well.
zarn_odbc_run(locations_test_odbc locations_test)
zarn_odbc_run(variables_test_odbc variables_test)
zarn_db_test(udcaps_test ${CMAKE_CURRENT_LIST_DIR}/udcaps_test.cpp)
zarn_db_test(importdata_test ${CMAKE_CURRENT_LIST_DIR}/importdata_test.cpp)
# The import's steps on MariaDB, facility and source, through ODBC.
foreach(program locations_test variables_test udcaps_test importdata_test)
    zarn_mariadb_run(${program}_mariadb ${program})
endforeach()
# The data import runs where clocks change, so that no time stamp may move with the local zone.
set_property(TEST importdata_test_sqlite importdata_test_postgresql importdata_test_mariadb
    APPEND PROPERTY ENVIRONMENT TZ=Europe/Berlin)
# SQLite's numeric date-times in a source.
zarn_unit_test(julian_timedate_test ${CMAKE_CURRENT_LIST_DIR}/julian_timedate_test.cpp)
zarn_db_test(importfaults_test ${CMAKE_CURRENT_LIST_DIR}/importfaults_test.cpp)
# Faults at a commit, at a begin and inside a batch of calls, through each ODBC driver too.
zarn_odbc_run(importfaults_test_odbc importfaults_test)
zarn_mariadb_run(importfaults_test_mariadb importfaults_test)
zarn_unit_test(locationplan_test ${CMAKE_CURRENT_LIST_DIR}/locationplan_test.cpp)
