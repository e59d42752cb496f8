// The OpenGL and GLUT headers, in one place for every file that draws.
#ifndef VORLIX_GL_H
#define VORLIX_GL_H
#include <GL/freeglut.h>
#include <GL/gl.h>
#endif
