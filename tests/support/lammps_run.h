// Runs LAMMPS (`lmp`, Debian package lammps) on a small input script in a
// fresh directory, for tests of the dump readers on what it really writes.
#ifndef VORLIX_TESTS_LAMMPS_RUN_H
#define VORLIX_TESTS_LAMMPS_RUN_H

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>

namespace vt {

inline bool have_lmp() {
    return std::system("command -v lmp >/dev/null 2>&1") == 0;
}

inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void spill(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The directory of one lmp run, removed with it; dir is "" when lmp failed
// (the end of its log then on stderr).
struct LmpRun {
    std::string dir;
    explicit LmpRun(std::string d) : dir(std::move(d)) {}
    LmpRun(const LmpRun &) = delete;
    LmpRun &operator=(const LmpRun &) = delete;
    ~LmpRun() {
        if (!dir.empty())
            std::system(("rm -rf " + dir).c_str());
    }
};

// The command that runs a program on `ranks` MPI ranks ("" for one: no
// mpirun), allowed as root, as the test machines run.
inline std::string mpirun(int ranks) {
    setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
    setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
    return ranks == 1 ? "" : "mpirun --oversubscribe -np " + std::to_string(ranks) + " ";
}

// Runs the script in a fresh directory, on `ranks` MPI ranks, where the
// test then finds the dumps and log.lammps.
inline LmpRun run_lmp(const std::string &script, int ranks = 1) {
    char dir[] = "/tmp/vorlix_lmpXXXXXX";
    if (!mkdtemp(dir))
        return LmpRun("");
    spill(std::string(dir) + "/in.lmp", script);
    const std::string command = std::string("cd ") + dir + " && " + mpirun(ranks) +
                                "lmp -in in.lmp -log log.lammps -screen none -echo none" +
                                " >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0)
        return LmpRun(dir);
    // The log's last lines say why.
    std::system(("tail -n 3 " + std::string(dir) + "/log.lammps >&2; rm -rf " + dir).c_str());
    return LmpRun("");
}

// The atom count that LAMMPS printed for each step of `thermo_style custom
// step atoms` in its log; a step printed twice (the end of one run and the
// start of the next) keeps its first count.
inline std::map<std::int64_t, std::uint64_t> thermo_atoms(const std::string &log) {
    std::map<std::int64_t, std::uint64_t> atoms;
    std::istringstream in(log);
    std::string line;
    bool table = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first, second, more;
        words >> first >> second;
        if (first == "Step" && second == "Atoms") {
            table = true;
            continue;
        }
        if (first == "Loop")
            table = false;
        if (table && !(words >> more))
            atoms.emplace(std::stoll(first), std::stoull(second));
    }
    return atoms;
}

} // namespace vt

#endif
