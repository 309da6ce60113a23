zarn_db_test(reader_test ${CMAKE_CURRENT_LIST_DIR}/reader_test.cpp)
zarn_db_test(locations_test ${CMAKE_CURRENT_LIST_DIR}/locations_test.cpp)
zarn_db_test(variables_test ${CMAKE_CURRENT_LIST_DIR}/variables_test.cpp)
zarn_db_test(udcaps_test ${CMAKE_CURRENT_LIST_DIR}/udcaps_test.cpp)
zarn_db_test(importdata_test ${CMAKE_CURRENT_LIST_DIR}/importdata_test.cpp)
# The data import runs where clocks change, so that no time stamp may move with the local zone.
set_property(TEST importdata_test_sqlite importdata_test_postgresql APPEND PROPERTY
    ENVIRONMENT TZ=Europe/Berlin)
zarn_unit_test(locationplan_test ${CMAKE_CURRENT_LIST_DIR}/locationplan_test.cpp)
