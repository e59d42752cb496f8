#include "gl.h"
#include "internal.h"

// Light 0 and the front material. The library never enables GL_LIGHTING, so
// these only matter to a client that does.
void init_lighting() {
    RendererState &s = vorlix_state;
    glLightfv(GL_LIGHT0, GL_AMBIENT, s.light_ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, s.light_diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, s.light_position);
    glLightfv(GL_LIGHT0, GL_SPECULAR, s.light_specular);
    glMaterialfv(GL_FRONT, GL_AMBIENT, s.material_ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, s.material_diffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, s.material_specular);
    glMaterialfv(GL_FRONT, GL_EMISSION, s.material_emission);
    glMaterialf(GL_FRONT, GL_SHININESS, static_cast<float>(s.material_shininess));
    glEnable(GL_LIGHT0);
}
