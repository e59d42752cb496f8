#include "viewer/play/run_pass.h"

#include "viewer/play/frame_pool.h"

#include <algorithm>
#include <chrono>
#include <numeric>

namespace vv {

namespace {

// Widens r by s (either may be empty).
void widen(Range &r, const Range &s) {
    if (s.empty)
        return;
    r.lo = r.empty ? s.lo : std::min(r.lo, s.lo);
    r.hi = r.empty ? s.hi : std::max(r.hi, s.hi);
    r.empty = false;
}

} // namespace

void RunFacts::add(const Frame &frame) {
    ++frames;
    fit.add(frame);
    largest = std::max(largest, frame.atoms);
    elements = elements || !frame.element_names.empty();
    types = types || !frame.type.empty();
    skipped += frame.skipped;
    for (const Field &f : frame.fields) {
        auto at = std::find_if(columns.begin(), columns.end(),
                               [&](const auto &c) { return c.first == f.name; });
        if (at == columns.end())
            at = columns.insert(columns.end(), {f.name, Range()});
        widen(at->second, range_of(f.values.data(), frame.atoms));
    }
}

RunPass::RunPass(const FrameIndex &trajectory, unsigned threads)
    : trajectory_(trajectory), threads_(threads), thread_([this] { run(); }) {}

RunPass::~RunPass() {
    stop_ = true;
    thread_.join();
}

void RunPass::run() {
    const std::size_t n = trajectory_.frames.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t(0));
    RunFacts facts;
    std::string error;
    bool ok = true;
    {
        FramePool pool(trajectory_, std::move(order), threads_);
        Frame frame;
        for (std::size_t k = 0; k < n && !stop_; ++k) {
            if (!pool.take(k, frame, error)) {
                ok = false;
                break;
            }
            facts.add(frame);
            ++done_;
        }
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    ok_ = ok && !stop_;
    facts_ = std::move(facts);
    error_ = std::move(error);
    changed_.notify_all();
}

bool RunPass::ended() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

bool RunPass::wait(const std::function<void(std::size_t, std::size_t)> &progress, RunFacts &facts,
                   std::string &error) {
    const std::size_t n = trajectory_.frames.size();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!changed_.wait_for(lock, std::chrono::milliseconds(100), [&] { return ended_; }))
            if (progress)
                progress(done_, n);
    }
    if (progress)
        progress(done_, n);
    return result(facts, error);
}

bool RunPass::result(RunFacts &facts, std::string &error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!ok_) {
        error = error_;
        return false;
    }
    facts = facts_;
    return true;
}

} // namespace vv
