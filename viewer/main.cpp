// vorlix-view: the command line read, the input opened in full (so that bad
// input ends with a message before any window exists), then either the
// pictures asked for, drawn without showing a window, or the window.
#include "viewer/app/live_hooks.h"
#include "viewer/app/open.h"
#include "viewer/app/options.h"
#include "viewer/app/state.h"
#include "viewer/app/window.h"
#include "viewer/output/headless.h"

#include <cstdio>
#include <optional>
#include <string>

int main(int argc, char **argv) {
    std::string error;
    const std::optional<vv::Options> options = vv::parse_options(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "vorlix-view: %s\n%s", error.c_str(), vv::usage_hint().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(vv::usage_page(vv::live_built()).c_str(), stdout);
        return 0;
    }
    const int status = vv::open_input(*options, argc, argv);
    if (status >= 0)
        return status;
    // freeglut maps a window only when its event loop runs, so a batch of
    // thumbnails never shows one or takes input meant for another.
    const int window = vv::create_window(*options, argv);
    if (vv::app.headless())
        return vv::run_headless(window);
    vv::run_window();
}
