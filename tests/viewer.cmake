# vorlix-view: its loaders and view without a window (viewer_core), and the
# program itself run end to end on real files, under the display ctest has.
if(EXISTS ${PROJECT_SOURCE_DIR}/viewer/CMakeLists.txt)
  find_package(PNG REQUIRED)

  add_executable(viewer_core_test ${CMAKE_CURRENT_LIST_DIR}/viewer_core.cpp)
  target_link_libraries(viewer_core_test PRIVATE viewer_core PNG::PNG GTest::gtest_main)
  target_compile_definitions(viewer_core_test PRIVATE
    VIEWER_MODELS="/usr/share/assimp/models")
  gtest_discover_tests(viewer_core_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

  add_executable(viewer_cli_test ${CMAKE_CURRENT_LIST_DIR}/viewer_cli.cpp)
  target_link_libraries(viewer_cli_test PRIVATE PNG::PNG GTest::gtest_main)
  target_compile_definitions(viewer_cli_test PRIVATE
    VIEWER_EXE="$<TARGET_FILE:vorlix-view>"
    PRIVATE_DISPLAY="${CMAKE_CURRENT_LIST_DIR}/support/private_display.sh"
    VIEWER_MODELS="/usr/share/assimp/models")
  add_dependencies(viewer_cli_test vorlix-view)
  gtest_discover_tests(viewer_cli_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
endif()
