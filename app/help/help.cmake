# The help texts, compiled in at build time from their sources: the command line's (--help, and
# the manual page that packaging/ makes) from usage.txt beside this file; the window's from the
# README's sections on running an import and on the configuration file.
qt_add_resources(zarnengine zarnengine_help PREFIX /help BASE ${CMAKE_CURRENT_LIST_DIR}
    FILES ${CMAKE_CURRENT_LIST_DIR}/usage.txt)

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
file(READ ${PROJECT_SOURCE_DIR}/README.md zarn_readme)

# The README's section under the heading "## TITLE", up to the next such heading, without the
# heading itself.
function(zarn_readme_section title out)
    set(heading "\n## ${title}\n")
    string(FIND "${zarn_readme}" "${heading}" start)
    if(start EQUAL -1)
        message(FATAL_ERROR "README.md has no section \"${title}\"")
    endif()
    string(LENGTH "${heading}" length)
    math(EXPR start "${start} + ${length}")
    string(SUBSTRING "${zarn_readme}" ${start} -1 rest)
    string(FIND "${rest}" "\n## " end)
    string(SUBSTRING "${rest}" 0 ${end} section)
    string(STRIP "${section}" section)
    set(${out} "${section}" PARENT_SCOPE)
endfunction()

zarn_readme_section("Running an import" zarn_running_help)
zarn_readme_section("Configuration" zarn_configuration_help)
# Written only when changed, so that the window is rebuilt only then.
file(CONFIGURE OUTPUT help/configuration.md CONTENT "${zarn_configuration_help}" @ONLY)
file(CONFIGURE OUTPUT help/window.md @ONLY CONTENT
    "## Running an import\n\n${zarn_running_help}\n\n## Configuration\n\n${zarn_configuration_help}\n")
qt_add_resources(zarnwindow zarnwindow_help PREFIX /help BASE ${CMAKE_CURRENT_BINARY_DIR}/help
    FILES ${CMAKE_CURRENT_BINARY_DIR}/help/configuration.md ${CMAKE_CURRENT_BINARY_DIR}/help/window.md)
