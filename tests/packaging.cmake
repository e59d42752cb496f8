# cmake --install into a temporary prefix, then an external C client built
# against it through find_package(vorlix) and through pkg-config, and run
# (tests/install_client/). A sanitised build is not something to install,
# and a plain client could not load its instrumented library, so it is left
# out there.
if(NOT vorlix_sanitizers AND TARGET tamsil AND TARGET kelvora)
  add_test(NAME packaging_install_and_client
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install_client/run.sh ${PROJECT_BINARY_DIR}
            ${CMAKE_COMMAND} ${CMAKE_C_COMPILER})
  set_tests_properties(packaging_install_and_client PROPERTIES TIMEOUT 300)
endif()
