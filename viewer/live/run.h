// A LAMMPS input script run in this process through LAMMPS's C library, one
// chunk of steps at a time, with the atoms gathered into a Frame between
// chunks. No OpenGL here; every rank of the communicator makes the same
// calls in the same order (the gathers are collective), rank 0 alone keeps
// what they gather.
//
// The script is fed command by command, as lmp would read it; `run N` and
// `run N upto` become runs of LAMMPS's own `run n start s0 stop s1 pre ...
// post ...`, so that step counts, thermo output and time-averaging fixes
// see one long run; a count from a variable is substituted by LAMMPS.
// `minimize` runs whole (no frame inside it). `include FILE` is read in
// its place. `jump`, an include named by a variable and run's other
// keywords are refused: they need the script as a file LAMMPS reads itself.
#ifndef VORLIX_VIEWER_LIVE_H
#define VORLIX_VIEWER_LIVE_H

#include "viewer/trajectory/frame.h"

#include <mpi.h>

#include <string>
#include <utility>
#include <vector>

namespace vv {

class LiveRun {
  public:
    LiveRun() = default;
    LiveRun(const LiveRun &) = delete;
    LiveRun &operator=(const LiveRun &) = delete;
    ~LiveRun() { close(); }

    // Reads the script (every rank reads it) and starts LAMMPS on comm with
    // the variables as lmp's -var NAME VALUE would give them. False with
    // error set when the script cannot be read.
    bool open(const std::string &script,
              const std::vector<std::pair<std::string, std::string>> &vars, MPI_Comm comm,
              std::string &error);
    void close(); // lammps_close; again does nothing

    // Runs the script on until `steps` more steps have been taken by its
    // runs, a run ends (its last frame comes before the commands after it),
    // or the script ends; 0 steps: up to its next run, atoms in place.
    enum class State { Running, Ended, Failed };
    State advance(long long steps, std::string &error);

    // Collective. Gathers the step, the box, positions and types, and the
    // per-atom quantity `column` unless empty, into frame on rank 0 (other
    // ranks' frame only gets the step). False with error when LAMMPS
    // offers no such quantity: x y z vx vy vz fx fy fz q, c_ID or f_ID
    // (per-atom, c_ID[k] for a column), as dump custom names them.
    bool gather(Frame &frame, const std::string &column, std::string &error);

    long long step() const;                            // the current timestep
    long long steps_run() const { return steps_run_; } // by the script's runs so far
    const std::string &script() const { return script_; }

  private:
    bool start_run(const std::string &line, std::string &error);
    void *lmp_ = nullptr;
    int rank_ = 0;
    std::string script_;
    struct Command {
        std::string file;
        int line = 0, depth = 0; // depth: includes it sits in
        std::string text;
    };
    static constexpr int kMaxIncludeDepth = 16;
    static bool read_commands(const std::string &path, int depth, std::vector<Command> &commands,
                              std::string &error);
    std::vector<Command> commands_;
    std::size_t next_ = 0; // into commands_
    // The run under way: from start_ to stop_, the next chunk the first.
    bool in_run_ = false, first_chunk_ = false;
    long long start_ = 0, stop_ = 0;
    long long steps_run_ = 0;
    std::vector<double> scratch_;
    std::vector<int> types_;
};

} // namespace vv

#endif
