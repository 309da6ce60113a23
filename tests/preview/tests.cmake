zarn_unit_test(runrecord_test ${CMAKE_CURRENT_LIST_DIR}/runrecord_test.cpp)

zarn_db_test(preview_test ${CMAKE_CURRENT_LIST_DIR}/preview_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DemoDatabases.cpp)

zarn_db_test(report_test ${CMAKE_CURRENT_LIST_DIR}/report_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DemoDatabases.cpp)

zarn_mariadb_run(preview_test_mariadb preview_test)
zarn_mariadb_run(report_test_mariadb report_test)

zarn_window_test(previewwindow_test ${CMAKE_CURRENT_LIST_DIR}/previewwindow_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DemoDatabases.cpp)

zarn_db_test(previewisimport_test ${CMAKE_CURRENT_LIST_DIR}/previewisimport_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DemoDatabases.cpp)
