// The frame reader (viewer/play/frame_reader.h) against read_frame itself on
// dumps written here as LAMMPS's `dump custom` writes them. A read is held
// in flight without any hook in the reader: the indexed gzip dump's path is
// turned into a FIFO, so that the reader's thread blocks in open() and then
// in read() until the test feeds it the file's bytes.
#include "viewer/play/frame_reader.h"
#include "viewer/trajectory/trajectory.h"

#include "held_fifo.h"
#include "lammps_run.h"
#include "same_frame.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using vt::Held;
using vt::same;
using vt::write_gzip;
using Got = vv::FrameReader::Got;
using namespace std::chrono_literals;

// Frame f at timestep 100 f; atom i's position depends on f and i, so that
// no two frames agree on any atom and a mix of two is seen.
std::string dump_text(int frames, int atoms) {
    std::string s;
    char line[512];
    for (int f = 0; f < frames; ++f) {
        std::snprintf(line, sizeof line,
                      "ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n%d\n"
                      "ITEM: BOX BOUNDS pp pp pp\n0.0000000000000000e+00 1.0000000000000000e+01\n"
                      "0.0000000000000000e+00 1.0000000000000000e+01\n"
                      "0.0000000000000000e+00 1.0000000000000000e+01\n"
                      "ITEM: ATOMS id type x y z vx\n",
                      100 * f, atoms);
        s += line;
        for (int i = 1; i <= atoms; ++i) {
            std::snprintf(line, sizeof line, "%d %d %.6g %.6g %.6g %.6g\n", i, 1 + i % 3,
                          0.01 * i + 0.1 * f, 5 - 0.003 * i * f, 0.007 * i, f - 0.5 * i);
            s += line;
        }
    }
    return s;
}

// A fresh directory per test, removed with it.
struct Scratch {
    std::string dir = ::testing::TempDir() + "frame_reader_XXXXXX";
    Scratch() { EXPECT_NE(mkdtemp(dir.data()), nullptr); }
    ~Scratch() { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }
};

// A dump written and indexed, with every frame as read_frame gives it.
struct Indexed {
    std::string path;
    vv::FrameIndex trajectory;
    std::vector<vv::Frame> expected;
};

Indexed indexed(const std::string &path, const std::string &text, bool gzip) {
    Indexed d{path, {}, {}};
    if (gzip)
        EXPECT_TRUE(write_gzip(path, text));
    else
        vt::spill(path, text);
    std::string error;
    EXPECT_TRUE(vv::open_trajectory(path, d.trajectory, error)) << error;
    for (std::size_t k = 0;; ++k) {
        vv::Frame frame;
        if (!vv::read_frame(d.trajectory, k, frame, error))
            break; // past the last frame
        d.expected.push_back(std::move(frame));
    }
    return d;
}

constexpr int kFrames = 5, kAtoms = 400;

TEST(FrameReader, EveryFrameTakenIsTheOneReadFrameGives) {
    const Scratch scratch;
    const Indexed d = indexed(scratch.dir + "/run.dump", dump_text(kFrames, kAtoms), false);
    ASSERT_EQ(d.expected.size(), std::size_t(kFrames));
    vv::FrameReader reader(d.trajectory);
    vv::Frame shown;
    std::string error;
    // Forwards, backwards, the same frame again; the caller's frame and the
    // spare trade storage at every take.
    for (const std::size_t k : {0, 1, 4, 2, 2, 0, 3}) {
        SCOPED_TRACE(k);
        reader.request(k);
        ASSERT_EQ(reader.wait(k, shown, error), Got::Ready) << error;
        EXPECT_TRUE(same(shown, d.expected[k]));
    }
    // Requests in a burst: the last one is what is read and handed over.
    for (const std::size_t k : {1, 4, 0, 3})
        reader.request(k);
    ASSERT_EQ(reader.wait(3, shown, error), Got::Ready) << error;
    EXPECT_TRUE(same(shown, d.expected[3]));
}

// A gzip dump indexed, its frames read, and its bytes kept for the FIFOs
// that stand in for it.
class FrameReaderInFlight : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(d.expected.size(), std::size_t(kFrames)); }
    // The dump's path made a FIFO of its own (see Held).
    Held fifo() const { return Held(d.path, bytes); }
    // Asks for frame k, read through a FIFO of its own fed in full.
    ::testing::AssertionResult fed(vv::FrameReader &reader, std::size_t k) const {
        Held held = fifo();
        reader.request(k);
        if (!held.came())
            return ::testing::AssertionFailure() << "the reader never opened " << d.path;
        if (!held.feed())
            return ::testing::AssertionFailure() << "the reader stopped reading " << d.path;
        return ::testing::AssertionSuccess();
    }

    const Scratch scratch;
    const Indexed d = indexed(scratch.dir + "/run.dump.gz", dump_text(kFrames, kAtoms), true);
    const std::string bytes = vt::slurp(d.path);
    vv::Frame shown;
    std::string error;
};

// While frame 1 is held in flight and frame 3 asked for behind it, no take
// hands anything over nor touches the caller's frame; then 3 comes whole,
// and 1, overtaken, never does.
TEST_F(FrameReaderInFlight, AFrameAskedForDuringAReadIsTheOneHandedOver) {
    Held held = fifo();
    vv::FrameReader reader(d.trajectory);
    shown = d.expected[4];
    reader.request(1);
    ASSERT_TRUE(held.came()) << "the reader never opened " << d.path;
    reader.request(3);
    for (const std::size_t k : {0, 1, 3, 4})
        EXPECT_EQ(reader.take(k, shown, error), Got::NotYet) << "frame " << k << " in flight";
    EXPECT_TRUE(same(shown, d.expected[4])) << "a take that was not Ready changed the frame";

    ASSERT_TRUE(held.feed());
    ASSERT_EQ(reader.wait(3, shown, error), Got::Ready) << error;
    EXPECT_TRUE(same(shown, d.expected[3]));
    // Handed over once: asking again gives nothing and leaves the frame.
    EXPECT_EQ(reader.take(3, shown, error), Got::NotYet);
    EXPECT_EQ(reader.take(1, shown, error), Got::NotYet)
        << "an overtaken read is never handed over";
    EXPECT_EQ(reader.wait(1, shown, error), Got::NotYet) << "waiting for a frame not asked for";
    EXPECT_TRUE(same(shown, d.expected[3]));
}

// A frame read but not taken is dropped when another is asked for: its
// storage is the spare that the next read fills, so taking it then would
// hand over a frame being written. (A read further back than the last
// opens the gzip stream again, here the second FIFO.)
TEST_F(FrameReaderInFlight, AFrameLeftUntakenIsNotHandedOverOnceTheNextIsAskedFor) {
    vv::FrameReader reader(d.trajectory);
    ASSERT_TRUE(fed(reader, 4));
    // Waiting on a frame not asked for returns once the reader is idle.
    ASSERT_EQ(reader.wait(kFrames, shown, error), Got::NotYet);

    Held second = fifo();
    reader.request(1);
    ASSERT_TRUE(second.came()) << "frame 2 was not read from the start of the stream";
    EXPECT_EQ(reader.take(4, shown, error), Got::NotYet);
    EXPECT_EQ(shown.timestep, 0) << "a frame was handed over";
    ASSERT_TRUE(second.feed());
    ASSERT_EQ(reader.wait(1, shown, error), Got::Ready) << error;
    EXPECT_TRUE(same(shown, d.expected[1]));
}

// The playback's swap: the frame shown stays whole while the next one is
// read into the spare, however long that takes, and asking again for the
// frame in flight does not start it over.
TEST_F(FrameReaderInFlight, TheShownFrameStaysWholeWhileTheNextIsRead) {
    vv::FrameReader reader(d.trajectory);
    ASSERT_TRUE(fed(reader, 0));
    ASSERT_EQ(reader.wait(0, shown, error), Got::Ready) << error;
    ASSERT_TRUE(same(shown, d.expected[0]));
    // A FIFO of its own for the next read: the frame shown still holds the
    // stream it was read from.
    Held next = fifo();
    reader.request(2);
    ASSERT_TRUE(next.came());
    for (int i = 0; i < 3; ++i) {
        reader.request(2);
        EXPECT_EQ(reader.take(2, shown, error), Got::NotYet);
        EXPECT_TRUE(same(shown, d.expected[0])) << "the frame shown changed during the read";
    }
    ASSERT_TRUE(next.feed());
    ASSERT_EQ(reader.wait(2, shown, error), Got::Ready) << error;
    EXPECT_TRUE(same(shown, d.expected[2]));
}

// A file edited after it was indexed: the read fails with one line naming
// the file, the frame shown is kept, the failure is told once, and a later
// request reads the file again once it is whole.
TEST(FrameReader, AFileChangedSinceIndexingFailsNamingIt) {
    const std::string text = dump_text(kFrames, kAtoms);
    const std::size_t last_frame = text.rfind("ITEM: TIMESTEP");
    const struct {
        const char *change;
        std::string bytes; // none: the file removed
        const char *problem;
    } cases[] = {
        {"cut in its last frame", text.substr(0, last_frame + 100),
         "the file is shorter than its index"},
        {"cut before its last frame", text.substr(0, last_frame - 1),
         "the file is shorter than its index"},
        {"last timestep edited",
         text.substr(0, last_frame) + "ITEM: TIMESTEP\n499" + text.substr(last_frame + 18),
         "timestep or atom count differ from the index"},
        {"removed", "", "cannot open"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.change);
        const Scratch scratch;
        const Indexed d = indexed(scratch.dir + "/run.dump", text, false);
        ASSERT_EQ(d.expected.size(), std::size_t(kFrames));
        vv::FrameReader reader(d.trajectory);
        vv::Frame shown;
        std::string error;
        reader.request(0);
        ASSERT_EQ(reader.wait(0, shown, error), Got::Ready) << error;

        if (c.bytes.empty())
            ASSERT_EQ(unlink(d.path.c_str()), 0);
        else
            vt::spill(d.path, c.bytes);
        reader.request(kFrames - 1);
        ASSERT_EQ(reader.wait(kFrames - 1, shown, error), Got::Failed);
        EXPECT_EQ(error.rfind(d.path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.problem), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_TRUE(same(shown, d.expected[0])) << "a failed read replaced the frame shown";
        EXPECT_EQ(reader.take(kFrames - 1, shown, error), Got::NotYet) << "a failure is told once";

        vt::spill(d.path, text);
        reader.request(kFrames - 1);
        ASSERT_EQ(reader.wait(kFrames - 1, shown, error), Got::Ready) << error;
        EXPECT_TRUE(same(shown, d.expected[kFrames - 1]));
    }
}

// The reader destroyed while a read is held in flight, with a request
// behind it that would open the FIFO again (it lies before the frame in
// flight): the destructor ends with the read under way and starts no other.
// Under the sanitised build or valgrind this also shows that the spare and
// its open stream are freed.
TEST_F(FrameReaderInFlight, DestroyedMidReadEndsWithThatRead) {
    { const vv::FrameReader idle(d.trajectory); } // nothing asked: ends at once

    Held held = fifo();
    auto reader = std::make_unique<vv::FrameReader>(d.trajectory);
    reader->request(3);
    ASSERT_TRUE(held.came());
    reader->request(0);
    auto destroyed = std::async(std::launch::async, [&reader] { reader.reset(); });
    // The destructor waits for the read in flight; the pause also lets it
    // begin before the read ends, or the request behind would rightly start.
    EXPECT_EQ(destroyed.wait_for(300ms), std::future_status::timeout);
    ASSERT_TRUE(held.feed());
    const bool ended = destroyed.wait_for(10s) == std::future_status::ready;
    EXPECT_TRUE(ended) << "the destructor went on to the next request";
    // Let a stray read meet the end of an empty stream, so that the test
    // itself ends.
    for (int i = 0; i < 10000 && !ended; ++i) {
        const int fd = open(d.path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            close(fd);
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
}

} // namespace
