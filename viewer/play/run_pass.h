// What a trajectory's whole run tells that one frame does not, and the
// pass that reads every frame to find it: on threads of its own (a
// FramePool, every core), so that the window shows frame 1 while it runs
// and a batch waits for it only when its pictures need it. No OpenGL and no
// library call here.
#ifndef VORLIX_VIEWER_RUN_PASS_H
#define VORLIX_VIEWER_RUN_PASS_H

#include "viewer/cloud/colour.h"
#include "viewer/play/box_fit.h"
#include "viewer/trajectory/trajectory.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vv {

// Facts gathered over frames, taken in file order.
struct RunFacts {
    BoxFit fit;                           // their boxes, or atom bounds where a frame has none
    std::size_t frames = 0;               // taken in
    std::size_t largest = 0;              // atoms of the largest
    std::size_t skipped = 0;              // atom rows left out for a NaN or infinite position
    bool elements = false, types = false; // some frame has the column
    // Each numeric column, in the order first seen, with its range.
    std::vector<std::pair<std::string, Range>> columns;
    void add(const Frame &frame);
};

class RunPass {
  public:
    // Starts reading every frame of the trajectory, which must outlive the
    // pass, on `threads` workers (0: one a core).
    explicit RunPass(const FrameIndex &trajectory, unsigned threads = 0);
    ~RunPass(); // stops after the frames under way
    RunPass(const RunPass &) = delete;
    RunPass &operator=(const RunPass &) = delete;

    // Frames read so far.
    std::size_t done() const { return done_; }
    // Whether the pass has ended, well or on a frame it could not read.
    bool ended() const;
    // Waits for the end, telling `progress` (frames read, frames) from
    // this thread now and then and once at the end; then as result().
    bool wait(const std::function<void(std::size_t, std::size_t)> &progress, RunFacts &facts,
              std::string &error);
    // Once ended: the facts of every frame, or false with the error of the
    // first frame (in file order) that could not be read.
    bool result(RunFacts &facts, std::string &error);

  private:
    void run();

    const FrameIndex &trajectory_;
    const unsigned threads_;
    std::atomic<std::size_t> done_{0};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false, ok_ = false;
    RunFacts facts_;
    std::string error_;
    std::thread thread_;
};

} // namespace vv

#endif
