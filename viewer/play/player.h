// A trajectory as vorlix-view plays it, without OpenGL or threads: one scan
// of every frame at the start (the box union that fixes the mapping, the
// largest frame that sizes the node block, each column's range over the
// whole run), then each frame written into the same nodes in place, with
// its colours, and what playback does on each key.
#ifndef VORLIX_VIEWER_PLAYER_H
#define VORLIX_VIEWER_PLAYER_H

#include "viewer/cloud/cloud.h"
#include "viewer/cloud/colour.h"
#include "viewer/play/box_fit.h"
#include "viewer/trajectory/trajectory.h"

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vv {

class Player {
  public:
    // Opens and indexes the file and reads every frame once; `progress`
    // hears (frames read, frames) after each. Whole-run column ranges are
    // kept unless range_per_frame. On failure returns false with error set
    // to one line naming the file (and the frame, for a bad one).
    bool open(const std::string &path, bool range_per_frame, std::string &error,
              const std::function<void(std::size_t, std::size_t)> &progress = {});

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
    // Atom rows left out over all frames for a NaN or infinite position.
    std::size_t skipped() const { return skipped_; }

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

    // For the title: frame k+1/N, the timestep, the atom count, the colours
    // (a column's with its range) and, while playing, the speed.
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

    FrameIndex trajectory_;
    Frame frame_;
    BoxFit fit_;
    Cloud nodes_;            // the block for the largest frame, linked once
    std::size_t linked_ = 0; // atoms the lists end at now
    unsigned int list_count_ = 0;
    std::size_t shown_ = 0;
    std::size_t skipped_ = 0;
    bool elements_ = false, types_ = false; // some frame has the column
    bool range_per_frame_ = false;
    std::vector<std::pair<std::string, Range>> columns_; // name, whole-run range
    std::string colouring_;
    Range range_; // of the colouring now shown
};

} // namespace vv

#endif
