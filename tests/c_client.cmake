# A C99 program that includes vorlix.h and links libvorlix.so the way a C
# client would; strict flags so that a header C cannot digest fails the build.
add_executable(c_client ${CMAKE_CURRENT_SOURCE_DIR}/c_client.c)
set_target_properties(c_client PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF
                                          LINKER_LANGUAGE C)
target_compile_options(c_client PRIVATE -std=c99 -Wall -Wextra -Werror -pedantic)
target_link_libraries(c_client PRIVATE vorlix OpenGL::GL GLUT::GLUT)
# It opens a GLUT window: run ctest under xvfb-run when there is no display.
add_test(NAME c_client COMMAND c_client)
set_tests_properties(c_client PROPERTIES TIMEOUT 60)
