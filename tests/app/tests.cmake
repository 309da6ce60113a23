zarn_unit_test(getiniinfo_test ${CMAKE_CURRENT_LIST_DIR}/getiniinfo_test.cpp)

zarn_unit_test(batchmode_test ${CMAKE_CURRENT_LIST_DIR}/batchmode_test.cpp)
target_compile_definitions(batchmode_test PRIVATE ZARN_TEST_VERSION="${PROJECT_VERSION}")

# The program's command line, run without a display.
zarn_unit_test(commandline_test ${CMAKE_CURRENT_LIST_DIR}/commandline_test.cpp)
zarn_test_runs_program(commandline_test)

zarn_db_test(batchlist_test ${CMAKE_CURRENT_LIST_DIR}/batchlist_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartupDatabases.cpp)
# Runs the program itself as well as its batch entry.
zarn_test_runs_program(batchlist_test)

zarn_window_test(window_test ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartupDatabases.cpp)

zarn_db_test(importrun_test ${CMAKE_CURRENT_LIST_DIR}/importrun_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportDatabases.cpp)

zarn_db_test(batchimport_test ${CMAKE_CURRENT_LIST_DIR}/batchimport_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportDatabases.cpp)
zarn_test_runs_program(batchimport_test)

zarn_window_test(windowimport_test ${CMAKE_CURRENT_LIST_DIR}/windowimport_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportDatabases.cpp)

# PostgreSQL only: database and role names as createdb/createuser and as unquoted SQL make them.
add_executable(servernames_test ${CMAKE_CURRENT_LIST_DIR}/servernames_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportDatabases.cpp)
target_link_libraries(servernames_test PRIVATE zarntestsupport GTest::gtest_main)
add_test(NAME servernames_test_postgresql COMMAND servernames_test)
set_tests_properties(servernames_test_postgresql PROPERTIES LABELS postgresql
    RESOURCE_LOCK postgresql ENVIRONMENT "ZARN_TEST_SERVER=postgresql")

zarn_unit_test(batchprogress_test ${CMAKE_CURRENT_LIST_DIR}/batchprogress_test.cpp)
zarn_db_test(variablesteps_test ${CMAKE_CURRENT_LIST_DIR}/variablesteps_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportDatabases.cpp)

# A report onto a full filesystem, by the program itself on the demo databases.
add_test(NAME fullreport_test
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fullreport_test.sh
            $<TARGET_FILE:zarn-vantrel-importer> $<TARGET_FILE:zarn-vantrel-generate>)
set_tests_properties(fullreport_test PROPERTIES LABELS sqlite SKIP_RETURN_CODE 77)
