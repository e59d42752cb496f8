#include "viewer/live/run.h"

#define LAMMPS_LIB_MPI
#include <library.h>

#include "viewer/io/tokens.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vv {

namespace {

// The words of a command before its '#' comment, split as every reader
// splits (viewer/io/tokens.h).
std::vector<std::string> words(const std::string &line) {
    std::vector<std::string_view> w;
    io::split(std::string_view(line).substr(0, line.find('#')), w);
    return std::vector<std::string>(w.begin(), w.end());
}

// A plain step count: digits only, as run takes it after substitution.
bool parse_steps(const std::string &s, long long &out) {
    if (s.empty() || s.size() > 15 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoll(s);
    return true;
}

} // namespace

bool LiveRun::read_commands(const std::string &path, int depth, std::vector<Command> &commands,
                            std::string &error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot open the input script";
        return false;
    }
    // Lines ending in '&' go on, as LAMMPS joins them.
    std::string line, command;
    int number = 0, first = 0;
    while (std::getline(in, line)) {
        ++number;
        if (command.empty())
            first = number;
        const char *b = line.data(), *e = b + line.size();
        io::trim(b, e);
        if (e > b && e[-1] == '&') {
            command.append(line.data(), static_cast<std::size_t>(e - 1 - line.data())) += " ";
            continue;
        }
        command += line;
        if (!words(command).empty())
            commands.push_back({path, first, depth, command});
        command.clear();
    }
    if (in.bad()) {
        error = path + ": cannot read the input script";
        return false;
    }
    return true;
}

bool LiveRun::open(const std::string &script,
                   const std::vector<std::pair<std::string, std::string>> &vars, MPI_Comm comm,
                   std::string &error) {
    script_ = script;
    if (!read_commands(script, 0, commands_, error))
        return false;
    MPI_Comm_rank(comm, &rank_);
    std::vector<std::string> args = {"vorlix-view"};
    for (const auto &v : vars)
        args.insert(args.end(), {"-var", v.first, v.second});
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    lmp_ = lammps_open(static_cast<int>(args.size()), argv.data(), comm, nullptr);
    if (!lmp_) {
        error = script + ": LAMMPS did not start";
        return false;
    }
    return true;
}

void LiveRun::close() {
    if (lmp_)
        lammps_close(lmp_);
    lmp_ = nullptr;
}

long long LiveRun::step() const {
    const void *p = lmp_ ? lammps_extract_global(lmp_, "ntimestep") : nullptr;
    return p ? static_cast<long long>(*static_cast<const std::int64_t *>(p)) : 0;
}

bool LiveRun::start_run(const std::string &line, std::string &error) {
    const std::vector<std::string> w = words(line);
    long long n = 0;
    const bool upto = w.size() == 3 && w[2] == "upto";
    // A count from a variable ($n, ${n}, $(expr)): LAMMPS substitutes it in
    // an equal-style variable of ours, as it would in run itself.
    std::string count = w.size() > 1 ? w[1] : "";
    if (count.find('$') != std::string::npos) {
        lammps_command(lmp_, ("variable vorlix_run_steps equal " + count).c_str());
        double *v =
            static_cast<double *>(lammps_extract_variable(lmp_, "vorlix_run_steps", nullptr));
        if (v && std::isfinite(*v) && *v >= 0 && *v < 1e15 && *v == std::floor(*v))
            count = std::to_string(static_cast<long long>(*v));
        lammps_free(v);
        lammps_command(lmp_, "variable vorlix_run_steps delete");
    }
    if (w.size() < 2 || !parse_steps(count, n) || (w.size() > 2 && !upto)) {
        error = "'" + line +
                "': only 'run N' and 'run N upto' run live, N a whole number (no "
                "start/stop/pre/post/every)";
        return false;
    }
    start_ = step();
    stop_ = upto ? n : start_ + n;
    if (stop_ < start_) {
        error = "'" + line + "': step " + std::to_string(start_) + " is already past " + w[1];
        return false;
    }
    in_run_ = true;
    first_chunk_ = true;
    return true;
}

LiveRun::State LiveRun::advance(long long steps, std::string &error) {
    for (;;) {
        if (in_run_) {
            const long long now = step();
            const long long left = stop_ - now;
            if (steps <= 0 && !(first_chunk_ && left == 0))
                return State::Running;
            const long long n = std::min(steps, left);
            // A run of no steps still sets up (forces, thermo at its step).
            const std::string cmd = "run " + std::to_string(n) + " start " +
                                    std::to_string(start_) + " stop " + std::to_string(stop_) +
                                    " pre " + (first_chunk_ ? "yes" : "no") + " post " +
                                    (n == left ? "yes" : "no");
            lammps_command(lmp_, cmd.c_str());
            first_chunk_ = false;
            steps -= n;
            steps_run_ += n;
            if (n == left) { // the run's last frame is drawn before what follows it
                in_run_ = false;
                return State::Running;
            }
            continue;
        }
        if (next_ >= commands_.size())
            return State::Ended;
        const Command command = commands_[next_++];
        const std::string &line = command.text;
        const std::vector<std::string> w = words(line);
        const std::string place = command.file + ": line " + std::to_string(command.line) + ": ";
        if (w[0] == "run") {
            if (!start_run(line, error)) {
                error = place + error;
                return State::Failed;
            }
            continue;
        }
        // A plain file name is read here, when the script reaches it, as
        // LAMMPS would; its commands go on in its place.
        if (w[0] == "include" && w.size() == 2 && w[1].find('$') == std::string::npos) {
            std::vector<Command> included;
            if (command.depth >= kMaxIncludeDepth) {
                error = place + "includes nested more than " + std::to_string(kMaxIncludeDepth) +
                        " deep";
                return State::Failed;
            }
            if (!read_commands(w[1], command.depth + 1, included, error)) {
                error = place + error;
                return State::Failed;
            }
            commands_.insert(commands_.begin() + static_cast<std::ptrdiff_t>(next_),
                             included.begin(), included.end());
            continue;
        }
        if (w[0] == "jump" || w[0] == "include") {
            error = place + "'" + w[0] +
                    "' cannot run live (the script goes to LAMMPS a command at a time)";
            return State::Failed;
        }
        lammps_command(lmp_, line.c_str());
    }
}

bool LiveRun::gather(Frame &frame, const std::string &column, std::string &error) {
    frame.timestep = step();
    const long long natoms = static_cast<long long>(lammps_get_natoms(lmp_));
    const std::size_t n = natoms > 0 ? static_cast<std::size_t>(natoms) : 0;
    // Which gather gives the column, and which of its components.
    std::string source;
    int count = 1, component = 0;
    if (!column.empty()) {
        const std::size_t axis = std::string("xyz").find(column.back());
        if (axis != std::string::npos &&
            (column.size() == 1 ||
             (column.size() == 2 && (column[0] == 'v' || column[0] == 'f')))) {
            source = column.size() == 1 ? "x" : column.substr(0, 1);
            count = 3;
            component = static_cast<int>(axis);
        }
        const std::string id = column.size() > 2 ? column.substr(2) : "";
        if (column == "q" && lammps_extract_atom(lmp_, "q"))
            source = "q";
        else if ((column.rfind("c_", 0) == 0 &&
                  lammps_has_id(lmp_, "compute", const_cast<char *>(id.c_str()))) ||
                 (column.rfind("f_", 0) == 0 &&
                  lammps_has_id(lmp_, "fix", const_cast<char *>(id.c_str()))))
            source = column;
        if (source.empty()) {
            error = script_ + ": no per-atom '" + column +
                    "' to colour by (type, x y z, vx vy vz, fx fy fz, q with charges, c_ID or f_ID "
                    "of a per-atom compute or fix defined before the first run)";
            return false;
        }
    }
    scratch_.assign(3 * n, 0.0);
    types_.assign(n, 0);
    lammps_gather_atoms(lmp_, const_cast<char *>("x"), 1, 3, scratch_.data());
    lammps_gather_atoms(lmp_, const_cast<char *>("type"), 0, 1, types_.data());
    std::vector<double> values;
    if (!source.empty()) {
        values.assign(count * n, 0.0);
        if (source == "x" || source == "v" || source == "f" || source == "q")
            lammps_gather_atoms(lmp_, const_cast<char *>(source.c_str()), 1, count, values.data());
        else
            lammps_gather(lmp_, const_cast<char *>(source.c_str()), 1, count, values.data());
    }
    if (rank_ != 0)
        return true;

    Box &box = frame.box;
    box = Box();
    int periodic[3] = {0, 0, 0}, changes = 0;
    lammps_extract_box(lmp_, box.lo, box.hi, &box.xy, &box.yz, &box.xz, periodic, &changes);
    box.triclinic = lammps_extract_setting(lmp_, "triclinic") != 0;
    frame.declared = n;
    frame.position.clear();
    frame.type.clear();
    frame.fields.clear();
    frame.element_names.clear();
    frame.element.clear();
    if (!source.empty())
        frame.fields.push_back(Field{column, {}});
    frame.skipped = 0;
    // As the dump reader does: a position a float cannot hold is left out.
    for (std::size_t i = 0; i < n; ++i) {
        const double *p = &scratch_[3 * i];
        if (!(std::fabs(p[0]) <= FLT_MAX && std::fabs(p[1]) <= FLT_MAX &&
              std::fabs(p[2]) <= FLT_MAX)) {
            ++frame.skipped;
            continue;
        }
        for (int c = 0; c < 3; ++c)
            frame.position.push_back(static_cast<float>(p[c]));
        frame.type.push_back(types_[i]);
        if (!source.empty())
            frame.fields[0].values.push_back(static_cast<float>(values[count * i + component]));
    }
    frame.atoms = n - frame.skipped;
    return true;
}

} // namespace vv
