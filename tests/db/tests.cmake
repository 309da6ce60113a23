zarn_unit_test(hashtable_test ${CMAKE_CURRENT_LIST_DIR}/hashtable_test.cpp)
zarn_unit_test(connectionmanager_test ${CMAKE_CURRENT_LIST_DIR}/connectionmanager_test.cpp)
zarn_db_test(connectionmanager_db_test ${CMAKE_CURRENT_LIST_DIR}/connectionmanager_db_test.cpp)

zarn_unit_test(connectionstring_test ${CMAKE_CURRENT_LIST_DIR}/connectionstring_test.cpp)

# Hostile values of the root catalog and the settings on each server, with a loopback listener
# that nothing may reach, and an import run through the batch mode.
find_package(Qt6 REQUIRED COMPONENTS Network)
zarn_db_test(connectionstring_db_test ${CMAKE_CURRENT_LIST_DIR}/connectionstring_db_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../app/ImportDatabases.cpp)
target_link_libraries(connectionstring_db_test PRIVATE Qt6::Network)

# Seeded random configuration files, connection strings and batch arguments: no crash, no
# hang, no password in any output. A bounded number of cases, so that it also runs under the
# sanitizers; ZARN_FUZZ_SEED and ZARN_FUZZ_ROUNDS run other or more cases by hand.
zarn_unit_test(inputfuzz_test ${CMAKE_CURRENT_LIST_DIR}/inputfuzz_test.cpp)
set_tests_properties(inputfuzz_test PROPERTIES TIMEOUT 300)
