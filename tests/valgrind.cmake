# The demo's loop (tests/soak.cpp) under valgrind's memcheck: no invalid
# access, no use of uninitialised memory and no leak outside the OpenGL
# driver, over VORLIX_VALGRIND_FRAMES frames. --keep-debuginfo keeps the
# driver's name on its frames after it is unloaded at exit, so that the
# suppressions (each justified in the file) can match it.
# Valgrind cannot run sanitised binaries, so the sanitised build leaves it out.
if(TARGET vorlix_soak AND NOT vorlix_sanitizers)
  set(VORLIX_VALGRIND_FRAMES 300 CACHE STRING "Frames of the demo loop run under valgrind")
  find_program(VALGRIND_EXECUTABLE valgrind)
  if(VALGRIND_EXECUTABLE)
    add_test(NAME valgrind_demo_loop
      COMMAND ${VALGRIND_EXECUTABLE} --error-exitcode=1 --leak-check=full
              --keep-debuginfo=yes --num-callers=40
              --suppressions=${CMAKE_CURRENT_SOURCE_DIR}/sanitize/valgrind.supp
              $<TARGET_FILE:vorlix_soak> --frames ${VORLIX_VALGRIND_FRAMES} --warmup 0
              --max-growth-kib -1 --max-new-highs -1)
    set_tests_properties(valgrind_demo_loop PROPERTIES TIMEOUT 900)
  else()
    # Not found is a failure, not a silent skip: .ci/test installs it.
    add_test(NAME valgrind_demo_loop COMMAND ${CMAKE_COMMAND} -E echo "valgrind not installed")
    set_tests_properties(valgrind_demo_loop PROPERTIES WILL_FAIL ON)
  endif()
endif()
