#include "viewer/play/frame_pool.h"

#include <algorithm>
#include <utility>

namespace vv {

unsigned FramePool::cores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

FramePool::FramePool(const FrameIndex &trajectory, std::vector<std::size_t> order, unsigned threads)
    : trajectory_(trajectory), order_(std::move(order)) {
    if (threads == 0)
        threads = cores();
    if (trajectory_.compression != io::Kind::Plain)
        threads = 1;
    threads =
        static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(size(), 1)));
    // Two slots a worker: each has one frame to fill while the one it
    // filled before waits to be taken.
    slots_.resize(2 * static_cast<std::size_t>(threads));
    for (unsigned t = 0; t < threads; ++t)
        workers_.emplace_back([this] { work(); });
}

FramePool::~FramePool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread &t : workers_)
        t.join();
}

void FramePool::work() {
    // The worker's own cursor: a gzip stream it reads on from frame to frame.
    std::shared_ptr<io::Cursor> cursor;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock,
                      [&] { return stop_ || next_ >= size() || next_ < taken_ + slots_.size(); });
        if (stop_ || next_ >= size())
            return;
        const std::size_t i = next_++;
        Slot &slot = slots_[i % slots_.size()];
        lock.unlock();
        // The slot is this worker's alone until the frame is marked as held.
        slot.frame.cursor = std::move(cursor);
        std::string error;
        const bool ok = read_frame(trajectory_, order_[i], slot.frame, error);
        cursor = std::move(slot.frame.cursor);
        lock.lock();
        slot.ok = ok;
        slot.error = std::move(error);
        slot.holds = i + 1;
        changed_.notify_all();
    }
}

bool FramePool::take(std::size_t i, Frame &frame, std::string &error) {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot &slot = slots_[i % slots_.size()];
    changed_.wait(lock, [&] { return slot.holds == i + 1; });
    const bool ok = slot.ok;
    if (ok)
        std::swap(frame, slot.frame);
    else
        error = slot.error;
    slot.holds = 0;
    taken_ = i + 1;
    changed_.notify_all();
    return ok;
}

} // namespace vv
