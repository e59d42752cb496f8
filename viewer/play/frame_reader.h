// Reads trajectory frames on a thread of its own, one ahead of the one
// shown, into a single spare Frame that the GLUT thread swaps with its own:
// parsing never stalls drawing, and the memory is two frames whatever the
// length of the trajectory. No OpenGL and no library call here.
#ifndef VORLIX_VIEWER_FRAME_READER_H
#define VORLIX_VIEWER_FRAME_READER_H

#include "viewer/trajectory/trajectory.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace vv {

class FrameReader {
  public:
    // The trajectory must outlive the reader.
    explicit FrameReader(const FrameIndex &trajectory);
    ~FrameReader(); // waits for a read under way, then ends the thread
    FrameReader(const FrameReader &) = delete;
    FrameReader &operator=(const FrameReader &) = delete;

    // Asks for frame k; a later request replaces one not yet started. Asking
    // again for the frame being read, or read and not yet taken, does nothing.
    void request(std::size_t k);

    enum class Got { NotYet, Ready, Failed };
    // When frame k has been read, swaps it into `frame` (which becomes the
    // spare the next read fills) and returns Ready; Failed with error set
    // when reading it failed; NotYet while it is still to come (or was
    // never asked for).
    Got take(std::size_t k, Frame &frame, std::string &error);
    // take(), waiting for the read when k has been asked for.
    Got wait(std::size_t k, Frame &frame, std::string &error);

  private:
    void run();
    Got take_locked(std::size_t k, Frame &frame, std::string &error);

    const FrameIndex &trajectory_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool wanted_ = false; // a request not yet started
    std::size_t wanted_k_ = 0;
    bool busy_ = false; // the thread is filling spare_ with frame busy_k_
    std::size_t busy_k_ = 0;
    bool done_ = false; // spare_ holds the outcome for done_k_
    std::size_t done_k_ = 0;
    bool done_ok_ = false;
    std::string done_error_;
    Frame spare_; // written by the thread only while busy_
    std::thread thread_;
};

} // namespace vv

#endif
