// A trajectory as vorlix-view plays it, without OpenGL: the index and the
// first frame at once (the node block sized for the largest frame the index
// declares, the mapping fixed by the union of boxes the index read from
// the frame headers), then what only reading every frame tells (each
// column's range over the whole run; the fit, where the index could not
// give it) from a pass on threads of its own; meanwhile the ranges are
// those of the frames read so far and the fit is the first frame's. Each
// frame is written into the same nodes in place, with its colours; and
// what playback does on each key. All calls from one thread.
#ifndef VORLIX_VIEWER_PLAYER_H
#define VORLIX_VIEWER_PLAYER_H

#include "viewer/cloud/cloud.h"
#include "viewer/cloud/colour.h"
#include "viewer/play/box_fit.h"
#include "viewer/play/run_pass.h"
#include "viewer/trajectory/trajectory.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vv {

class Player {
  public:
    // Opens and indexes the file and reads every frame once (open_first,
    // then finish_pass); `progress` hears (frames read, frames) now and then
    // and at the end. Whole-run column ranges are kept unless
    // range_per_frame. On failure returns false with error set to one line
    // naming the file (and the frame, for a bad one).
    bool open(const std::string &path, bool range_per_frame, std::string &error,
              const std::function<void(std::size_t, std::size_t)> &progress = {}) {
        return open(std::vector<std::string>{path}, range_per_frame, error, progress);
    }
    // The same for several files or patterns, one trajectory
    // (open_trajectories).
    bool open(const std::vector<std::string> &inputs, bool range_per_frame, std::string &error,
              const std::function<void(std::size_t, std::size_t)> &progress = {});
    // Opens and indexes the file (or files) and reads its first frame into
    // the nodes; the rest of the run is not read. False with error set as
    // for open().
    bool open_first(const std::vector<std::string> &inputs, bool range_per_frame,
                    std::string &error);
    bool open_first(const std::string &path, bool range_per_frame, std::string &error) {
        return open_first(std::vector<std::string>{path}, range_per_frame, error);
    }

    // The whole-run pass. start_pass() sets it going on threads of its own
    // (0: one a core); finish_pass() starts it if need be, waits for it and
    // takes in what it found, or returns false with the first bad frame's
    // error; poll_pass() takes it in if it has ended, true then (error set
    // when it failed), false while it runs or when there is none.
    void start_pass(unsigned threads = 0);
    bool finish_pass(const std::function<void(std::size_t, std::size_t)> &progress,
                     std::string &error);
    bool poll_pass(std::string &error);
    bool pass_running() const { return pass_ != nullptr; }
    // Whether the facts of the whole run are in (the pass ended, or every
    // frame has been shown): until then colourings, ranges and skipped()
    // are those of the frames shown so far.
    bool whole_run_known() const { return known_; }
    // Whether pictures drawn now could differ from those drawn once the
    // whole run is known: the fit is still the first frame's, or the
    // colouring is a column over the whole run's range.
    bool needs_whole_run() const;
    // The fit found by the pass waits while playing: applied here, by the
    // next show() or on this call when not playing; true when the nodes
    // moved (the caller redraws).
    bool settle();
    // How many times the mapping into the cube has been fixed (1 after
    // opening, 2 once a pass changed it).
    int fits() const { return fits_; }

    // Opens on a live source (a simulation run in this process), which has
    // no file to scan: the frame now in frame() fixes the mapping by its box
    // and the block is sized for `capacity` atoms (a later larger frame is
    // drawn in part); colours are by type, and a column's range is each
    // frame's own. Then show(0) for every frame. False with error set when
    // memory runs out.
    bool open_live(std::size_t capacity, std::string &error);

    const FrameIndex &trajectory() const { return trajectory_; }
    // Cube units per simulation length unit (BoxFit::scale).
    double unit() const { return fit_.scale(); }
    std::size_t frames() const { return trajectory_.frames.size(); }
    // The index's warning about a cut last frame; empty when there is none.
    const std::string &warning() const { return trajectory_.warning; }
    // Atom rows left out for a NaN or infinite position, over all frames
    // (over those shown so far, until whole_run_known()).
    std::size_t skipped() const { return facts_.skipped; }

    // The frame storage the nodes are written from; a reader may swap a
    // freshly read frame into it, then call show().
    Frame &frame() { return frame_; }
    const Frame &frame() const { return frame_; }
    // Writes frame() (frame k of the trajectory) into the nodes: positions,
    // colours, and as many lists as its atoms fill.
    void show(std::size_t k);
    // Reads frame k into frame() here and now, then show(k).
    bool read(std::size_t k, std::string &error);
    std::size_t shown() const { return shown_; }

    // The table to register with set_liste_voxels: its heads stay put for
    // the player's life; how many are in use follows the frame's atoms.
    VoxelNode *const *lists() const { return nodes_.lists.data(); }
    unsigned int list_count() const { return list_count_; }

    // "element" (when the dump names elements), "type" (when it has types,
    // or has neither: all then take type 1's colour), then each numeric
    // column in the order first seen.
    std::vector<std::string> colourings() const;
    // Recolours the nodes by `name`, one of colourings(); false, nothing
    // changed, with check_colouring's error otherwise.
    bool colour_by(const std::string &name, std::string &error);
    std::string next_colouring() const;
    const std::string &colouring() const { return colouring_; }
    // The range the shown colours of a column are over (empty for type,
    // element, or no finite value), and whether it is the frame's own.
    const Range &range() const { return range_; }
    bool range_per_frame() const { return range_per_frame_; }

    // For the title: frame k+1/N, the timestep, the atom count, the colours
    // (a column's with its range, said to be that of the frames read so far
    // until the whole run is known) and, while playing, the speed.
    std::string describe() const;

    // Playback. Space plays and pauses; steps go one frame either way
    // (wrapping round) or to either end; the speed is frames per second.
    enum class Step { Back, Forward, First, Last };
    std::size_t target(Step step) const;
    bool playing = false;
    int fps = 30;
    void faster(); // doubles, up to kMaxFps
    void slower(); // halves, down to 1
    static constexpr int kMaxFps = 960;

  private:
    void paint_colours();
    void relink(std::size_t atoms);
    void take_in(RunFacts facts);

    FrameIndex trajectory_;
    Frame frame_;
    BoxFit fit_;
    bool fit_final_ = false; // the whole run's fit, not the first frame's
    BoxFit pending_fit_;     // the pass's, while playing
    bool pending_ = false;
    int fits_ = 0;
    Cloud nodes_;            // the block for the largest frame, linked once
    std::size_t linked_ = 0; // atoms the lists end at now
    unsigned int list_count_ = 0;
    std::size_t shown_ = 0;
    bool range_per_frame_ = false;
    // The whole run's facts once known_, else those of the frames seen.
    RunFacts facts_;
    bool known_ = false;
    std::vector<bool> seen_;
    std::string colouring_;
    Range range_;                   // of the colouring now shown
    std::unique_ptr<RunPass> pass_; // last: it reads trajectory_
};

} // namespace vv

#endif
