# The demo's loop for many frames (tests/soak.cpp): after a warm-up, memory
# must stay flat. ctest runs VORLIX_SOAK_FRAMES frames; the full 100 000 is
# its own command (.ci/soak). A second run loses 16 bytes a frame on purpose
# and must fail, so the check is known to catch a leak that small.
if(TARGET tamsil)
  add_executable(vorlix_soak ${CMAKE_CURRENT_SOURCE_DIR}/soak.cpp)
  target_link_libraries(vorlix_soak PRIVATE vorlix tamsil GLUT::GLUT OpenGL::GL)
  target_include_directories(vorlix_soak PRIVATE ${PROJECT_SOURCE_DIR}/tamsil
                             ${CMAKE_CURRENT_SOURCE_DIR}/support)

  if(NOT vorlix_sanitizers)
    set(VORLIX_SOAK_FRAMES 10000 CACHE STRING "Frames of the soak test run by ctest")
    add_test(NAME soak_memory_flat
      COMMAND vorlix_soak --frames ${VORLIX_SOAK_FRAMES} --warmup 1000)
    set_tests_properties(soak_memory_flat PROPERTIES TIMEOUT 900)
    add_test(NAME soak_catches_a_small_leak
      COMMAND vorlix_soak --frames 6000 --warmup 1000 --leak-bytes 16)
    set_tests_properties(soak_catches_a_small_leak PROPERTIES TIMEOUT 600
      PASS_REGULAR_EXPRESSION "FAIL: allocated memory kept growing")
  else()
    # The sanitizer's quarantine holds freed memory back by design, so the
    # memory figures say nothing here; the loop still runs under it.
    add_test(NAME soak_sanitized COMMAND vorlix_soak --frames 2000 --warmup 100
                                         --max-growth-kib -1 --max-new-highs -1)
    set_tests_properties(soak_sanitized PROPERTIES TIMEOUT 600)
  endif()
endif()
