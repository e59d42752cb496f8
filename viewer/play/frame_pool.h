// Frames of a trajectory parsed ahead on every core and handed over in the
// order they were asked for: frames are independent, so each worker reads
// its own with its own Frame and its own file cursor, and the one taking
// them (a batch drawing pictures, the whole-run pass) sees them in order,
// as if one thread had read them. At most two frames a worker are held.
// No OpenGL and no library call here.
#ifndef VORLIX_VIEWER_FRAME_POOL_H
#define VORLIX_VIEWER_FRAME_POOL_H

#include "viewer/trajectory/trajectory.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vv {

class FramePool {
  public:
    // Reads frames order[0], order[1]... of the trajectory, which must
    // outlive the pool, on `threads` workers (0: one a core). A compressed
    // stream has one worker: it cannot be entered in the middle, so more
    // would each decompress it all.
    FramePool(const FrameIndex &trajectory, std::vector<std::size_t> order, unsigned threads = 0);
    ~FramePool(); // stops the workers once their frames are read
    FramePool(const FramePool &) = delete;
    FramePool &operator=(const FramePool &) = delete;

    std::size_t size() const { return order_.size(); }
    // Waits for the i-th frame asked for (each taken once, i rising) and
    // swaps it into `frame`, whose storage the pool keeps for a later frame;
    // false with read_frame's error when that frame could not be read.
    bool take(std::size_t i, Frame &frame, std::string &error);

    // One a core, at least one.
    static unsigned cores();

  private:
    struct Slot {
        Frame frame;
        std::size_t holds = 0; // the frame i + 1 it holds, 0 for none yet
        bool ok = false;
        std::string error;
    };
    void work();

    const FrameIndex &trajectory_;
    const std::vector<std::size_t> order_;
    std::vector<Slot> slots_; // frame i in slots_[i % size]
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;  // the next frame a worker claims
    std::size_t taken_ = 0; // frames taken so far
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

} // namespace vv

#endif
