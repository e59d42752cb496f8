// vorlix-view run as a user runs it, for the tests that spawn the program:
// a scratch directory, the child with its output in files, its outcome, and
// where a point in the fitted cube lands on the picture. The including test
// defines VIEWER_EXE, the program's path.
#ifndef VORLIX_TEST_VIEWER_PROCESS_H
#define VORLIX_TEST_VIEWER_PROCESS_H

#include "geometry.h"
#include "image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vt {

struct Outcome {
    int status = -1; // exit status, or 1000 + signal when the program died
    std::string out, err;
};

inline std::string file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool exists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

// A fresh directory per test, so that outputs never mix; removed with it.
struct Scratch {
    std::string path;
    Scratch() : path(::testing::TempDir() + "viewer_cli_XXXXXX") {
        EXPECT_NE(mkdtemp(path.data()), nullptr);
        path += "/";
    }
    ~Scratch() {
        if (std::system(("rm -rf '" + path + "'").c_str()) != 0)
            ADD_FAILURE() << "cannot remove " << path;
    }
};

inline pid_t spawn(const std::vector<std::string> &args, const std::string &cwd,
                   const std::string &out, const std::string &err) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        // In sanitised builds: the GL driver's per-context blocks outlive the
        // driver, which is unloaded at exit, so LeakSanitizer reports them
        // with no module to name or suppress. Leaks of the viewer's own code
        // are caught by the reader tests, which open no context.
        const char *asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
        std::vector<char *> argv;
        std::string exe = VIEWER_EXE;
        argv.push_back(exe.data());
        std::vector<std::string> copy = args;
        for (std::string &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

inline Outcome finish(pid_t pid, const std::string &out, const std::string &err) {
    Outcome r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    r.out = file_bytes(out);
    r.err = file_bytes(err);
    return r;
}

inline Outcome run(const std::vector<std::string> &args, const std::string &dir) {
    const std::string out = dir + "stdout.txt", err = dir + "stderr.txt";
    return finish(spawn(args, dir, out, err), out, err);
}

// Where the viewer draws a point that sits at (x, y, z) after the view's
// turn: the library's projection with the cloud centre kHomeDistance
// (viewer/app/view.h: 2.05) in front of the eye.
constexpr double kViewerDistance = 2.05;
inline Win pixel_of(double x, double y, double z, int w, int h) {
    return eye_to_window(x, y, z - kViewerDistance, w, h);
}

inline ::testing::AssertionResult colour_near(const Image &img, Win at, Rgb want) {
    return img.near(static_cast<int>(at.x), static_cast<int>(at.y), want, 2);
}

} // namespace vt

#endif
