#include "viewer/app/state.h"
#include "viewer/app/live_hooks.h"

#include <cstdio>

namespace vv {

// All of the program's mutable data (app/state.h).
App app;

Player *shown_player() {
    if (app.live)
        return live_player();
    return app.player.get();
}

void complain(const std::string &error) {
    std::fprintf(stderr, "vorlix-view: %s\n", error.c_str());
}

} // namespace vv
