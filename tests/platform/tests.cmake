zarn_unit_test(value_test ${CMAKE_CURRENT_LIST_DIR}/value_test.cpp)

# What only the PostgreSQL provider has, run against the test server under a time zone with
# daylight saving and a foreign client date style that the provider must override.
add_executable(postgres_test ${CMAKE_CURRENT_LIST_DIR}/postgres_test.cpp)
target_link_libraries(postgres_test PRIVATE zarnengine GTest::gtest_main)
add_test(NAME postgres_test COMMAND postgres_test)
set_tests_properties(postgres_test PROPERTIES LABELS postgresql RESOURCE_LOCK postgresql
    ENVIRONMENT "ZARN_TEST_SERVER=postgresql;TZ=Europe/Berlin;PGDATESTYLE=German")

# The database access layer against every server, and what only the SQLite provider does.
zarn_db_test(dal_test ${CMAKE_CURRENT_LIST_DIR}/dal_test.cpp)
zarn_unit_test(sqlite_provider_test ${CMAKE_CURRENT_LIST_DIR}/sqlite_provider_test.cpp)

# The database access layer through ODBC, and what only the ODBC provider does.
add_executable(odbc_provider_test ${CMAKE_CURRENT_LIST_DIR}/odbc_provider_test.cpp)
target_link_libraries(odbc_provider_test PRIVATE zarntestsupport GTest::gtest_main)
zarn_odbc_run(dal_test_odbc dal_test)
zarn_odbc_run(odbc_provider_test odbc_provider_test)
zarn_mariadb_run(dal_test_mariadb dal_test)

# ODBC under faults, on servers of the tests' own, through each ODBC driver.
add_executable(odbcfaults_test ${CMAKE_CURRENT_LIST_DIR}/odbcfaults_test.cpp)
target_link_libraries(odbcfaults_test PRIVATE zarntestsupport GTest::gtest_main)
zarn_odbc_run(odbcfaults_test_odbc odbcfaults_test)
zarn_mariadb_run(odbcfaults_test_mariadb odbcfaults_test)

# Dates as the operator types them.
zarn_unit_test(datetime_test ${CMAKE_CURRENT_LIST_DIR}/datetime_test.cpp)

# Queued procedure calls on every server, in numbers that span the providers' batches.
zarn_db_test(queuedcalls_test ${CMAKE_CURRENT_LIST_DIR}/queuedcalls_test.cpp)
zarn_odbc_run(queuedcalls_test_odbc queuedcalls_test)
zarn_mariadb_run(queuedcalls_test_mariadb queuedcalls_test)
