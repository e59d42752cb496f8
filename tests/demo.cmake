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
      # The GL driver's allocations still held at exit are reported from a
      # module already unloaded, where no suppression can name them; and
      # apitrace's preloaded wrapper comes before the sanitizer runtime.
      set_tests_properties(demo_${case} PROPERTIES
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0")
    endif()
  endforeach()
endif()
