zarn_unit_test(getiniinfo_test ${CMAKE_CURRENT_LIST_DIR}/getiniinfo_test.cpp)

zarn_unit_test(batchmode_test ${CMAKE_CURRENT_LIST_DIR}/batchmode_test.cpp)

zarn_db_test(batchlist_test ${CMAKE_CURRENT_LIST_DIR}/batchlist_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartupDatabases.cpp)
# Runs the program itself as well as its batch entry.
add_dependencies(batchlist_test zarn-vantrel-importer)
target_compile_definitions(batchlist_test PRIVATE
    ZARN_IMPORTER_PROGRAM="$<TARGET_FILE:zarn-vantrel-importer>")

zarn_window_test(window_test ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartupDatabases.cpp)
target_link_libraries(window_test PRIVATE Qt6::Test)

zarn_unit_test(importrun_test ${CMAKE_CURRENT_LIST_DIR}/importrun_test.cpp)

zarn_db_test(batchimport_test ${CMAKE_CURRENT_LIST_DIR}/batchimport_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportDatabases.cpp)
add_dependencies(batchimport_test zarn-vantrel-importer)
target_compile_definitions(batchimport_test PRIVATE
    ZARN_IMPORTER_PROGRAM="$<TARGET_FILE:zarn-vantrel-importer>")

zarn_window_test(windowimport_test ${CMAKE_CURRENT_LIST_DIR}/windowimport_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImportDatabases.cpp)
target_link_libraries(windowimport_test PRIVATE Qt6::Test)
