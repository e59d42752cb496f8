#include "viewer/live/session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vv {

namespace {

constexpr long long kQuit = -1;

} // namespace

void LiveSession::init_mpi(int &argc, char **&argv) {
    int ready = 0;
    MPI_Initialized(&ready);
    if (!ready)
        MPI_Init(&argc, &argv);
}

int LiveSession::rank() const {
    int r = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &r);
    return r;
}

int LiveSession::start(const std::string &script,
                       const std::vector<std::pair<std::string, std::string>> &vars,
                       const std::string &colour_by, long long every, std::string &error) {
    colour_by_ = colour_by == "type" ? "" : colour_by;
    every_ = every;
    busy_ = true;
    if (!run_.open(script, vars, MPI_COMM_WORLD, error))
        return 1;
    const LiveRun::State state = run_.advance(0, error);
    if (state == LiveRun::State::Failed)
        return 1;
    if (!run_.gather(player_.frame(), colour_by_, error))
        return 2; // a name the command line got wrong
    busy_ = false;
    if (state == LiveRun::State::Ended)
        stopped("script ended");
    if (rank() != 0)
        return 0;
    if (!player_.open_live(player_.frame().atoms, error))
        return 1;
    if (!colour_by_.empty() && !player_.colour_by(colour_by_, error))
        return 2;
    return 0;
}

bool LiveSession::advance_and_gather(long long steps, std::string &error) {
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    const long long before = run_.steps_run();
    busy_ = true;
    const LiveRun::State state = run_.advance(steps, error);
    const auto t1 = clock::now();
    if (state == LiveRun::State::Failed) {
        busy_ = false;
        stopped("stopped: " + error);
        return false;
    }
    // Columns were checked on the first frame; LAMMPS may still drop a fix.
    const bool gathered = run_.gather(player_.frame(), colour_by_, error);
    busy_ = false;
    if (!gathered) {
        stopped("stopped: " + error);
        return false;
    }
    last_steps_ = run_.steps_run() - before; // a run's end cuts a chunk short
    run_s_ = std::chrono::duration<double>(t1 - t0).count();
    gather_s_ = std::chrono::duration<double>(clock::now() - t1).count();
    if (state == LiveRun::State::Ended) {
        stopped("script ended");
        return false;
    }
    return true;
}

bool LiveSession::chunk(long long steps, std::string &error) {
    if (ended_)
        return false;
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    // The frame since the last chunk: drawing and events (none measured
    // across a pause).
    const double between = last_end_ == clock::time_point{}
                               ? 0
                               : std::chrono::duration<double>(start - last_end_).count();
    if (steps <= 0)
        steps = every_ > 0 ? every_ : auto_every_;
    MPI_Bcast(&steps, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    const bool going = advance_and_gather(steps, error);
    player_.show(0);
    last_end_ = clock::now();
    const double cycle = std::chrono::duration<double>(last_end_ - start).count() + between;
    if (last_steps_ > 0 && cycle > 0)
        rate_ = static_cast<double>(last_steps_) / cycle;
    if (every_ == 0 && last_steps_ > 0 && run_s_ > 0) {
        // A chunk costs LAMMPS about a step beyond its steps (energies and
        // thermo at its last step, output and timers set up for the run),
        // then the frame.
        const double step_ms = 1000 * run_s_ / static_cast<double>(last_steps_);
        const double cost_ms = step_ms + 1000 * (gather_s_ + between);
        const double aim_ms =
            std::min(std::max(kLiveChunkMs, kLiveCostRatio * cost_ms), kLiveChunkMaxMs);
        auto_every_ = std::clamp(static_cast<long long>(aim_ms / step_ms), 1LL, 1000000LL);
    }
    return going;
}

bool LiveSession::run_to(long long steps, long long every, std::string &error) {
    while (!ended_ && run_.steps_run() < steps) {
        const long long left = steps - run_.steps_run();
        chunk(every > 0 ? std::min(every, left) : left, error);
    }
    return run_.steps_run() >= steps;
}

void LiveSession::set_paused(bool paused) {
    paused_ = paused;
    last_end_ = {};
}

void LiveSession::quit() {
    long long message = kQuit;
    if (!ended_)
        MPI_Bcast(&message, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
}

int LiveSession::follow() {
    while (!ended_) {
        long long steps = 0;
        MPI_Bcast(&steps, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
        if (steps == kQuit)
            break;
        std::string error;
        advance_and_gather(steps, error);
    }
    return 0;
}

void LiveSession::finish() {
    run_.close();
    int done = 0;
    MPI_Finalized(&done);
    if (!done)
        MPI_Finalize();
}

std::string LiveSession::describe() const {
    const Frame &f = player_.frame();
    char text[160];
    std::snprintf(text, sizeof text, "step %lld, %zu atoms, %.0f steps/s, colour: ",
                  static_cast<long long>(f.timestep), f.atoms, rate_);
    std::string s = text;
    s += player_.colouring();
    if (ended_)
        s += ", " + how_;
    else if (paused_)
        s += ", paused";
    return s;
}

} // namespace vv
