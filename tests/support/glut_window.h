// Opens the one GLUT window of a program that drives its own frames (tests,
// benchmarks, the fuzzer, the soak): double-buffered RGB with a depth buffer
// at the screen's origin, like the demo's. GLUT gets an argument list of its
// own, holding only `program` (the name in its messages), so the program's
// options never reach it.
#ifndef VORLIX_TEST_GLUT_WINDOW_H
#define VORLIX_TEST_GLUT_WINDOW_H

#include <GL/freeglut.h>

#include <cstdio>

inline int open_glut_window(const char *program, const char *title, int width, int height) {
    static char name[64];
    std::snprintf(name, sizeof name, "%s", program);
    static char *argv[] = {name, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(width, height);
    return glutCreateWindow(title);
}

#endif
