// A live run as vorlix-view shows it, over MPI ranks: rank 0 decides each
// chunk (its steps, a pause is no chunk, quitting) and sends the decision to
// every rank, so that the collective runs and gathers stay in step; rank 0's
// player holds what it gathers. No OpenGL here.
#ifndef VORLIX_VIEWER_LIVE_SESSION_H
#define VORLIX_VIEWER_LIVE_SESSION_H

#include "viewer/live/run.h"
#include "viewer/play/player.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace vv {

// When --every is not given a chunk is sized from the last one's speed to
// run kLiveChunkMs, so that keys answer at once, or kLiveCostRatio times
// what a chunk costs beyond its steps (LAMMPS's own per-run work, the
// gather, drawing, events) if that is longer, so that watching slows the
// run by about 5%; but no more than kLiveChunkMaxMs.
constexpr double kLiveChunkMs = 50;
constexpr double kLiveCostRatio = 20;
constexpr double kLiveChunkMaxMs = 1000;

class LiveSession {
  public:
    // MPI_Init (thread support not needed: one thread calls MPI). Every
    // rank calls it first; rank() is then known.
    static void init_mpi(int &argc, char **&argv);
    int rank() const;

    // Every rank: starts LAMMPS on the script and runs it to its first run,
    // then gathers the first frame (whose box fixes the mapping) into the
    // player on rank 0. Returns the exit status on failure (error set), else 0.
    int start(const std::string &script,
              const std::vector<std::pair<std::string, std::string>> &vars,
              const std::string &colour_by, long long every, std::string &error);

    // Rank 0: one chunk of `steps` steps (0: the --every or timed size) on
    // every rank, then the frame into the nodes. False once the script has
    // ended or failed (error then says what; the last frame stays).
    bool chunk(long long steps, std::string &error);
    // Rank 0: chunks of `every` steps (0: one) until the script's runs
    // have taken `steps` steps; false when the script ended first.
    bool run_to(long long steps, long long every, std::string &error);
    // Rank 0: ends the other ranks' loop. Every rank then calls finish().
    void quit();
    // Ranks other than 0: chunks as rank 0 sends them, until it quits or
    // the script ends; the exit status.
    int follow();
    // Every rank: lammps_close, MPI_Finalize.
    void finish();

    Player &player() { return player_; }
    LiveRun &run() { return run_; }
    bool paused() const { return paused_; }
    void set_paused(bool paused); // a pause is no chunk
    bool ended() const { return ended_; }
    // Inside a LAMMPS call: an exit now is LAMMPS ending on an error.
    bool busy() const { return busy_; }
    // The run has stopped, and `how` goes into describe(): the script's
    // end, a refusal, or LAMMPS ending the process on an error.
    void stopped(const std::string &how) {
        ended_ = true;
        how_ = how;
    }
    // Step, atoms, speed in steps/s, colours, and paused or how it ended.
    std::string describe() const;

  private:
    // Every rank, in step: the script on by `steps`, then the frame gathered
    // (into the player on rank 0). False once it has ended or failed.
    bool advance_and_gather(long long steps, std::string &error);
    LiveRun run_;
    Player player_;
    std::string colour_by_;
    long long every_ = 0, auto_every_ = 1;
    double rate_ = 0; // steps/s over the last chunk and the frame before it
    bool paused_ = false;
    // When the last chunk ended (none since a pause: epoch); the seconds its
    // run and its gather took.
    std::chrono::steady_clock::time_point last_end_{};
    double run_s_ = 0, gather_s_ = 0;
    long long last_steps_ = 0; // the last chunk's
    bool ended_ = false, busy_ = false;
    std::string how_; // how the script ended
};

} // namespace vv

#endif
