# The engine links Qt Core only: a Qt Widgets include in it must not compile.
add_library(engine_widget_probe OBJECT EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/widget_probe.cpp)
target_link_libraries(engine_widget_probe PRIVATE zarnengine)
add_test(NAME engine_has_no_widgets
    COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target engine_widget_probe)
set_tests_properties(engine_has_no_widgets PROPERTIES WILL_FAIL TRUE LABELS unit)

# Every tracked source is laid out as .clang-format says.
find_program(ZARN_CLANG_FORMAT clang-format REQUIRED)
add_test(NAME sources_are_formatted COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format)
set_tests_properties(sources_are_formatted PROPERTIES LABELS unit)

# The servers' client libraries are the database access layer's own: their headers do not
# reach what links the engine.
add_library(engine_client_library_probe OBJECT EXCLUDE_FROM_ALL
    ${CMAKE_CURRENT_LIST_DIR}/client_library_probe.cpp)
target_link_libraries(engine_client_library_probe PRIVATE zarnengine)
add_test(NAME engine_has_no_client_library
    COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target engine_client_library_probe)
set_tests_properties(engine_has_no_client_library PROPERTIES WILL_FAIL TRUE LABELS unit)
