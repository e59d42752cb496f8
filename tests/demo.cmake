# The kelvora demo end to end: each case starts its own Xvfb server and drives
# the demo with xdotool (tests/demo_e2e.sh). Needs Xvfb, xdotool, x11-utils,
# apitrace and imagemagick.
if(TARGET kelvora)
  foreach(case window other_keys full_screen resized_down call_order frames)
    add_test(NAME demo_${case}
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/demo_e2e.sh $<TARGET_FILE:kelvora>
              ${TAMSIL_PARTICLES} ${case})
    set_tests_properties(demo_${case} PROPERTIES TIMEOUT 180 PASS_REGULAR_EXPRESSION "ok: ${case}")
    if(vorlix_sanitizers)
      # The demo must print nothing; LeakSanitizer would otherwise list the
      # driver suppressions it used, even with no leak to report.
      set_tests_properties(demo_${case} PROPERTIES ENVIRONMENT
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitize/lsan.supp:print_suppressions=0")
    endif()
  endforeach()
endif()
