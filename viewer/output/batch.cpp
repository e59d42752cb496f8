#include "viewer/output/batch.h"

#include "viewer/output/offscreen.h"
#include "viewer/output/png.h"
#include "viewer/output/progress.h"
#include "viewer/play/frame_pool.h"
#include "vorlix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vv {

namespace {

// Picture i put into the nodes and drawn off screen into rgb (rows
// bottom-up).
bool draw(const Pictures &pictures, const View &view, std::size_t i, std::size_t &number, int w,
          int h, std::vector<unsigned char> &rgb, std::string &error) {
    if (!pictures.put(i, number, error))
        return false;
    const Overlay overlay = pictures.overlay ? pictures.overlay() : Overlay();
    return render_offscreen(view, w, h, rgb, error, &overlay);
}

bool on_path(const std::string &program) {
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        if (access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// OUT.part.mp4 for OUT.mp4, so that ffmpeg still tells the format by the
// ending; OUT.part without one.
std::string temporary_name(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return path + ".part";
    return path.substr(0, dot) + ".part" + path.substr(dot);
}

} // namespace

bool frame_pictures(Player &player, FrameSpan span, Pictures &pictures, std::string &error) {
    const std::size_t n = player.frames();
    if (span.first >= n) {
        error = player.trajectory().path + ": no frame " + std::to_string(span.first) + " (" +
                std::to_string(n) + " frames, numbered from 0)";
        return false;
    }
    if (span.last == 0 || span.last > n)
        span.last = n;
    pictures.count = (span.last - span.first + span.step - 1) / span.step;
    // Frames parsed on every core while this thread draws.
    std::vector<std::size_t> order(pictures.count);
    for (std::size_t i = 0; i < pictures.count; ++i)
        order[i] = span.first + i * span.step;
    auto pool = std::make_shared<FramePool>(player.trajectory(), std::move(order));
    pictures.put = [&player, span, pool](std::size_t i, std::size_t &number, std::string &error) {
        number = span.first + i * span.step;
        if (!pool->take(i, player.frame(), error))
            return false;
        player.show(number);
        set_liste_voxels(player.lists(), player.list_count());
        return true;
    };
    return true;
}

bool write_frame_pngs(const Pictures &pictures, const View &view, const std::string &dir, int w,
                      int h, std::string &error) {
    const bool made = mkdir(dir.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
        error = dir + ": cannot be created (" + std::strerror(errno) + ")";
        return false;
    }
    Progress progress("writing frames");
    // Each PNG is encoded on a thread of its own while the next frame is
    // drawn: deflate is about a tenth of a batch's CPU time, and a batch
    // took 8% longer with it on the drawing thread (measured).
    std::vector<unsigned char> rgb, encoding;
    std::future<bool> encoded;
    std::string encode_error;
    std::vector<std::string> written;
    bool ok = true;
    // Waits for the PNG under way. One that failed fails the batch (unless
    // it failed already), and its name is not ours to remove: it may be a
    // folder or a file we could not replace.
    const auto finish_png = [&] {
        if (!encoded.valid() || encoded.get())
            return;
        written.pop_back();
        if (ok)
            error = encode_error;
        ok = false;
    };
    for (std::size_t i = 0; i < pictures.count; ++i) {
        std::size_t number = 0;
        ok = draw(pictures, view, i, number, w, h, rgb, error);
        finish_png();
        if (!ok)
            break;
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06zu.png", number);
        written.push_back(dir + name);
        std::swap(rgb, encoding);
        encoded =
            std::async(std::launch::async, [&encoding, &encode_error, path = written.back(), w, h] {
                return write_png(path, w, h, encoding.data(), encode_error);
            });
        progress(i + 1, pictures.count);
    }
    finish_png();
    if (!ok) {
        // A batch that fails leaves none of its pictures: the frames are
        // read as they are drawn, so a bad one may come after many.
        for (const std::string &file : written)
            std::remove(file.c_str());
        if (made)
            rmdir(dir.c_str()); // only when nothing else came into it
    }
    return ok;
}

bool write_movie(const Pictures &pictures, const View &view, const std::string &path, int w, int h,
                 std::string &error, MovieUnderWay &under_way) {
    if (!on_path("ffmpeg")) {
        error = path + ": cannot be made: --movie needs ffmpeg on PATH (Debian package ffmpeg)";
        return false;
    }
    if (w % 2 != 0 || h % 2 != 0) {
        error = path + ": cannot be made: a movie needs an even width and height (--size)";
        return false;
    }
    const std::string part = temporary_name(path);
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    // yuv420p: what players expect of H.264; it is why the size must be even.
    // H.264's veryfast preset: half the encoding time of the default (medium)
    // for a file no larger on frames of atoms; encoders without presets
    // ignore it.
    const char *argv[] = {"ffmpeg",   "-nostdin", "-loglevel",  "error", "-y",         "-f",
                          "rawvideo", "-pix_fmt", "rgb24",      "-s",    size.c_str(), "-r",
                          "30",       "-i",       "-",          "-an",   "-pix_fmt",   "yuv420p",
                          "-preset",  "veryfast", part.c_str(), nullptr};
    int pipe_fd[2];
    if (pipe(pipe_fd) != 0) {
        error = path + ": cannot be made (" + std::strerror(errno) + ")";
        return false;
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fd[0], STDIN_FILENO);
        close(pipe_fd[0]);
        close(pipe_fd[1]);
        execvp("ffmpeg", const_cast<char *const *>(argv));
        _exit(127);
    }
    close(pipe_fd[0]);
    if (pid < 0) {
        close(pipe_fd[1]);
        error = path + ": cannot start ffmpeg (" + std::strerror(errno) + ")";
        return false;
    }
    under_way = {pid, part};
    // A dead ffmpeg shows as a failed write, not as a signal that kills us.
    void (*was)(int) = std::signal(SIGPIPE, SIG_IGN);
    Progress progress("writing the movie");
    std::vector<unsigned char> rgb, row(static_cast<std::size_t>(w) * 3);
    bool ok = true, pipe_broke = false;
    for (std::size_t i = 0; ok && i < pictures.count; ++i) {
        std::size_t number = 0;
        ok = draw(pictures, view, i, number, w, h, rgb, error);
        // OpenGL's rows are bottom-up; a movie's go top-down.
        for (int y = h - 1; ok && y >= 0; --y) {
            const unsigned char *src = rgb.data() + static_cast<std::size_t>(y) * row.size();
            std::size_t off = 0;
            while (ok && off < row.size()) {
                const ssize_t n = write(pipe_fd[1], src + off, row.size() - off);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    ok = false;
                    pipe_broke = n < 0 && errno == EPIPE;
                    error = path + ": ffmpeg stopped reading (" + std::strerror(errno) + ")";
                }
                off += n > 0 ? static_cast<std::size_t>(n) : 0;
            }
        }
        if (ok)
            progress(i + 1, pictures.count);
    }
    close(pipe_fd[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    under_way.pid = -1;
    std::signal(SIGPIPE, was);
    const bool encoded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // ffmpeg that gives up (say, on an output name it has no format for)
    // closes the pipe first; its status says more than the broken pipe.
    if ((ok || pipe_broke) && !encoded)
        error = path + ": ffmpeg failed (" +
                (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                   : "signal " + std::to_string(WTERMSIG(status))) +
                ")";
    if (!ok || !encoded || std::rename(part.c_str(), path.c_str()) != 0) {
        if (ok && encoded)
            error = path + ": cannot be written (" + std::strerror(errno) + ")";
        std::remove(part.c_str());
        return false;
    }
    return true;
}

void abandon_movie(MovieUnderWay &under_way) {
    if (under_way.pid <= 0)
        return;
    kill(under_way.pid, SIGKILL);
    while (waitpid(under_way.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    std::remove(under_way.part.c_str());
    under_way.pid = -1;
}

} // namespace vv
