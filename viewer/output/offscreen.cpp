#include "viewer/output/offscreen.h"

#include "viewer/output/overlay.h"
#include "viewer/output/png.h"
#include "viewer/output/style.h"

#include <GL/freeglut.h>
#include <GL/glext.h>

namespace vv {

// The window's own buffers are no use for a screenshot: vorlix_render swaps
// them, after which the back buffer is undefined, and on Mesa under Xvfb the
// front buffer reads back black. An off-screen
// target also does not depend on the window being visible or on the screen
// being as large as the picture. The swap that vorlix_render still does only
// exchanges the window's buffers, which the next ordinary frame redraws.
bool render_offscreen(const View &view, int w, int h, std::vector<unsigned char> &rgb,
                      std::string &error, const Overlay *overlay) {
#define VIEWER_GL(type, name) const auto name = reinterpret_cast<type>(glutGetProcAddress(#name))
    VIEWER_GL(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers);
    VIEWER_GL(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer);
    VIEWER_GL(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers);
    VIEWER_GL(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers);
    VIEWER_GL(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer);
    VIEWER_GL(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers);
    VIEWER_GL(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage);
    VIEWER_GL(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer);
    VIEWER_GL(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus);
#undef VIEWER_GL
    if (!glGenFramebuffers || !glBindFramebuffer || !glDeleteFramebuffers || !glGenRenderbuffers ||
        !glBindRenderbuffer || !glDeleteRenderbuffers || !glRenderbufferStorage ||
        !glFramebufferRenderbuffer || !glCheckFramebufferStatus) {
        error = "this OpenGL has no framebuffer objects to render a screenshot into";
        return false;
    }
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    if (w > max_size || h > max_size) {
        error = "a screenshot of " + std::to_string(w) + "x" + std::to_string(h) +
                " is larger than this OpenGL allows (" + std::to_string(max_size) + ")";
        return false;
    }
    GLuint fbo = 0, rb[2] = {0, 0};
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(2, rb);
    glBindRenderbuffer(GL_RENDERBUFFER, rb[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glBindRenderbuffer(GL_RENDERBUFFER, rb[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rb[1]);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete) {
        float m[16];
        view.matrix(m);
        vorlix_reshape(w, h);
        render_styled(view, m);
        if (overlay) // into the framebuffer object, which the library's swap leaves alone
            draw_overlay(*overlay, w, h);
        glFinish();
        rgb.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        glReadBuffer(GL_BACK);
    } else {
        error = "cannot set up an off-screen framebuffer of " + std::to_string(w) + "x" +
                std::to_string(h);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(2, rb);
    glDeleteFramebuffers(1, &fbo);
    return complete;
}

bool save_frame(const std::string &path, const View &view, int w, int h, std::string &error,
                const Overlay *overlay) {
    std::vector<unsigned char> rgb;
    return render_offscreen(view, w, h, rgb, error, overlay) &&
           write_png(path, w, h, rgb.data(), error);
}

} // namespace vv
