// A trajectory file that a reader's thread can be held on: its path turned
// into a FIFO, so that the thread blocks in open() and then in read() until
// the test feeds it the file's bytes, with no hook in the code under test;
// and the gzip file to stand behind it (one stream is read in order, so a
// FIFO serves it: seeking a plain file would fail).
#ifndef VORLIX_TEST_HELD_FIFO_H
#define VORLIX_TEST_HELD_FIFO_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vt {

inline bool write_gzip(const std::string &path, const std::string &text) {
    gzFile f = gzopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = gzwrite(f, text.data(), static_cast<unsigned>(text.size())) ==
                    static_cast<int>(text.size());
    return gzclose(f) == Z_OK && ok;
}

// The dump's path turned into a FIFO (the file's bytes kept): the reader's
// next open of it blocks until came() opens the writing end, and its reads
// then block until feed() writes the bytes and closes that end.
class Held {
    using ms = std::chrono::milliseconds;

  public:
    Held(const std::string &path, std::string bytes) : path_(path), bytes_(std::move(bytes)) {
        std::signal(SIGPIPE, SIG_IGN); // a reader gone early is a failed write, not a death
        unlink(path.c_str());          // the file, or an earlier FIFO
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    ~Held() {
        if (fd_ >= 0)
            close(fd_);
        unlink(path_.c_str());
    }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;

    // Whether a reader opened the FIFO within `limit`: a writer's
    // non-blocking open succeeds only once one has.
    bool came(ms limit = ms(10000)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while ((fd_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
            if (errno != ENXIO || std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(ms(1));
        }
        return fcntl(fd_, F_SETFL, 0) == 0; // writes block from here on
    }

    // Writes the file's bytes and closes the writing end: end of stream.
    bool feed() {
        std::size_t done = 0;
        while (fd_ >= 0 && done < bytes_.size()) {
            const ssize_t n = write(fd_, bytes_.data() + done, bytes_.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        return done == bytes_.size();
    }

  private:
    std::string path_, bytes_;
    int fd_ = -1;
};

} // namespace vt

#endif
