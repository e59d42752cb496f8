#include "viewer/output/progress.h"

#include <cstdio>
#include <unistd.h>
#include <utility>

namespace vv {

Progress::Progress(std::string what)
    : what_(std::move(what)), terminal_(isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()), last_(start_) {}

Progress::~Progress() {
    if (drawn_)
        std::fputc('\n', stderr);
}

void Progress::operator()(std::size_t done, std::size_t total) {
    if (!terminal_ || total == 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (done < total && now - last_ < std::chrono::milliseconds(100))
        return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
    const int bar = static_cast<int>(30.0 * static_cast<double>(done) / static_cast<double>(total));
    std::fprintf(stderr, "\r%s [%.*s%*s] %zu/%zu frames, %.1f fps, %.0f s left ", what_.c_str(),
                 bar, "==============================", 30 - bar, "", done, total, rate, left);
    std::fflush(stderr);
    drawn_ = true;
}

} // namespace vv
