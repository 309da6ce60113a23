# The Debian package: built, unpacked into a throw-away folder and run on the demo databases.
add_test(NAME package_deb
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/deb_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_deb PROPERTIES LABELS package)

# Installed into an empty prefix, and run through the installed sample configuration.
add_test(NAME package_install
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_install PROPERTIES LABELS package)
