// A progress line on stderr for long runs (the first scan of a trajectory,
// frames written to files): frames done, their rate and the time left.
// Shown only when stderr is a terminal, so logs and tests see nothing.
#ifndef VORLIX_VIEWER_PROGRESS_H
#define VORLIX_VIEWER_PROGRESS_H

#include <chrono>
#include <cstddef>
#include <string>

namespace vv {

class Progress {
  public:
    explicit Progress(std::string what);
    ~Progress(); // ends the line, if one was drawn
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;
    // `done` of `total` finished; redrawn at most ten times a second.
    void operator()(std::size_t done, std::size_t total);

  private:
    std::string what_;
    bool terminal_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

} // namespace vv

#endif
