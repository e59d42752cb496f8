# libvorlix.so exports the 21 operations and nothing else of ours, and imports
# no allocation function. check_exports.sh takes any library and name list.
set(vorlix_exports
  vorlix_render vorlix_reshape set_focale
  init_transformation set_delta_rotation rotation_x rotation_y rotation_z
  set_delta_translation translation_x translation_y translation_z zoom
  set_scale_x set_scale_y set_scale_z set_isize set_fsize
  set_screen_mode set_cube_englobant set_liste_voxels)
set(check_exports bash ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.sh --nm ${CMAKE_NM})

add_test(NAME exports_vorlix
  COMMAND ${check_exports} --no-alloc $<TARGET_FILE:vorlix> ${vorlix_exports})

# The checker itself must be able to fail: one name swapped for another is
# reported both ways, and a library that calls malloc is caught; either way it
# exits 1.
set(exit_code bash -c "\"\$@\" && echo exit=0 || echo exit=\$?" check_exports)
set(swapped ${vorlix_exports})
list(REMOVE_ITEM swapped set_isize)
list(APPEND swapped vorlix_not_exported)
add_test(NAME exports_checker_reports_differences
  COMMAND ${exit_code} ${check_exports} $<TARGET_FILE:vorlix> ${swapped})
set_tests_properties(exports_checker_reports_differences PROPERTIES
  PASS_REGULAR_EXPRESSION "^missing: vorlix_not_exported\nunexpected: set_isize\nexit=1\n$")

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/exports_alloc_probe.c
  "#include <stdlib.h>\nvoid *exports_alloc_probe(size_t n) { return malloc(n); }\n")
add_library(exports_alloc_probe SHARED ${CMAKE_CURRENT_BINARY_DIR}/exports_alloc_probe.c)
add_test(NAME exports_checker_catches_allocation
  COMMAND ${exit_code} ${check_exports} --no-alloc $<TARGET_FILE:exports_alloc_probe>
          exports_alloc_probe)
set_tests_properties(exports_checker_catches_allocation PROPERTIES
  PASS_REGULAR_EXPRESSION "^allocation: malloc\nexit=1\n$")
