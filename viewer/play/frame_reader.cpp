#include "viewer/play/frame_reader.h"

#include <utility>

namespace vv {

FrameReader::FrameReader(const FrameIndex &trajectory)
    : trajectory_(trajectory), thread_([this] { run(); }) {}

FrameReader::~FrameReader() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void FrameReader::request(std::size_t k) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if ((busy_ && busy_k_ == k) || (!busy_ && done_ && done_k_ == k)) {
            wanted_ = false; // the latest request wins
            return;
        }
        wanted_ = true;
        wanted_k_ = k;
    }
    changed_.notify_all();
}

FrameReader::Got FrameReader::take_locked(std::size_t k, Frame &frame, std::string &error) {
    if (busy_ || !done_ || done_k_ != k)
        return Got::NotYet;
    done_ = false;
    if (!done_ok_) {
        error = done_error_;
        return Got::Failed;
    }
    std::swap(frame, spare_);
    return Got::Ready;
}

FrameReader::Got FrameReader::take(std::size_t k, Frame &frame, std::string &error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return take_locked(k, frame, error);
}

FrameReader::Got FrameReader::wait(std::size_t k, Frame &frame, std::string &error) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
        const bool pending = (wanted_ && wanted_k_ == k) || busy_;
        return !pending || stop_;
    });
    return take_locked(k, frame, error);
}

void FrameReader::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || wanted_; });
        if (stop_)
            return;
        const std::size_t k = wanted_k_;
        wanted_ = false;
        busy_ = true;
        busy_k_ = k;
        done_ = false;
        lock.unlock();
        std::string error;
        const bool ok = read_frame(trajectory_, k, spare_, error);
        lock.lock();
        busy_ = false;
        done_ = true;
        done_k_ = k;
        done_ok_ = ok;
        done_error_ = std::move(error);
        changed_.notify_all();
    }
}

} // namespace vv
