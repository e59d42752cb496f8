// The live hooks of a vorlix-view built without LAMMPS's library: --lammps is
// refused, so app.live stays empty and the calls that need a run never come.
#include "viewer/app/live_hooks.h"
#include "viewer/app/state.h"

namespace vv {

bool live_built() {
    return false;
}

int open_live(const Options &, int &, char **&) {
    complain("--lammps: this vorlix-view was built without LAMMPS's library (liblammps-dev)");
    return 2;
}

Player *live_player() {
    return nullptr;
}
std::string live_describe() {
    return "";
}
bool live_key(unsigned char) {
    return false;
}
bool quit_live() {
    return false;
}
void start_live_window() {}
int shoot_live() {
    return 1;
}
void end_live() {}

} // namespace vv
