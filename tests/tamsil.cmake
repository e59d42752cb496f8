# The particle library: its tests link its objects next to the renderer's
# (internal_tamsil*.cpp get vorlix_objects from tests/CMakeLists.txt), and
# libtamsil.so itself must export the two operations and nothing else.
foreach(name internal_tamsil internal_tamsil_alloc)
  if(TARGET ${name})
    target_link_libraries(${name} PRIVATE tamsil_objects)
  endif()
endforeach()
# The allocation test counts through a replaced malloc, except under the
# sanitizers, whose runtime owns malloc and reports to a hook instead.
if(TARGET internal_tamsil_alloc AND NOT vorlix_sanitizers)
  target_sources(internal_tamsil_alloc PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support/counting_malloc.cpp)
endif()

add_test(NAME exports_tamsil
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.sh --nm ${CMAKE_NM}
          $<TARGET_FILE:tamsil> vorlix_init_particles vorlix_update_particles)

# No OpenGL or GLUT at all (the renderer draws, the particles only move),
# and set_liste_voxels taken from libvorlix.
add_test(NAME imports_tamsil
  COMMAND bash -c "u=$(\"$0\" -D --undefined-only \"$1\" | awk '{ print $NF }') || exit 2
                   echo \"$u\" | grep -E '^(gl|glut|glX)[A-Z]' && { echo 'calls OpenGL'; exit 1; }
                   echo \"$u\" | grep -qx 'set_liste_voxels' || { echo 'no set_liste_voxels'; exit 1; }
                   readelf -d \"$1\" | grep -q 'NEEDED.*libvorlix' || { echo 'not linked to libvorlix'; exit 1; }
                   echo ok"
          ${CMAKE_NM} $<TARGET_FILE:tamsil>)
set_tests_properties(imports_tamsil PROPERTIES PASS_REGULAR_EXPRESSION "^ok\n$")
