#include "viewer/trajectory/sequence.h"

#include "viewer/trajectory/indexed.h"
#include "viewer/trajectory/trajectory.h"

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <tuple>
#include <utility>

namespace vv {

namespace detail {

namespace {

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool is_pattern(const std::string &input) {
    return input.find_first_of("*%") != std::string::npos && !exists(input);
}

// Whether name is what pattern p spells: `*` any run of characters, `%` a
// run of digits, everything else itself.
bool matches(const char *p, const char *name) {
    for (; *p != '\0'; ++p, ++name) {
        if (*p == '*' || *p == '%') {
            const bool digits = *p == '%';
            for (const char *s = name;; ++s) {
                if ((!digits || s > name) && matches(p + 1, s))
                    return true;
                if (*s == '\0' || (digits && !std::isdigit(static_cast<unsigned char>(*s))))
                    return false;
            }
        }
        if (*p != *name)
            return false;
    }
    return *name == '\0';
}

// Files the pattern names, appended to paths.
bool expand(const std::string &pattern, std::vector<std::string> &paths, std::string &error) {
    std::string wide = pattern;
    std::replace(wide.begin(), wide.end(), '%', '*');
    glob_t found{};
    const int status = glob(wide.c_str(), GLOB_NOESCAPE, nullptr, &found);
    std::size_t kept = 0;
    if (status == 0)
        for (std::size_t i = 0; i < found.gl_pathc; ++i)
            if (matches(pattern.c_str(), found.gl_pathv[i])) {
                paths.emplace_back(found.gl_pathv[i]);
                ++kept;
            }
    globfree(&found);
    if (kept == 0)
        error = pattern + ": matches no file";
    return kept > 0;
}

// a before b in natural order: runs of digits compare as numbers.
bool natural_less(const std::string &a, const std::string &b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            // Leading zeros aside, the longer run is the larger number.
            std::size_t zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == '0')
                ++zi;
            while (zj + 1 < ej && b[zj] == '0')
                ++zj;
            if (ei - zi != ej - zj)
                return ei - zi < ej - zj;
            const int c = a.compare(zi, ei - zi, b, zj, ej - zj);
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j || (a.size() - i == b.size() - j && a < b);
}

// One frame of one file, placed in the sequence: by step, then by which
// of the file's frames at that step it is (a step written twice into one
// file stays two frames), then by file.
struct Placed {
    std::int64_t step;
    std::uint32_t repeat;
    std::uint32_t file;
    std::uint32_t frame;
};

// The formats the files' first bytes name must agree; files no sniff
// claims are read as the others' format, whose messages then say what
// they lack.
bool one_format(const std::vector<std::string> &paths, const TrajectoryFormat *&format,
                std::string &error) {
    format = nullptr;
    std::size_t first = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const TrajectoryFormat *f = trajectory_format_of(paths[i]);
        if (!f)
            continue;
        if (!format) {
            format = f;
            first = i;
        } else if (f != format) {
            error = paths[first] + " is " + format->name + " but " + paths[i] + " is " + f->name +
                    ": the files of one trajectory must be of one format";
            return false;
        }
    }
    return true;
}

bool fail(FrameIndex &index, std::string &error, std::string message) {
    index = FrameIndex();
    error = std::move(message);
    return false;
}

} // namespace

bool expand_inputs(const std::vector<std::string> &inputs, std::vector<std::string> &paths,
                   std::string &error) {
    paths.clear();
    for (const std::string &input : inputs) {
        if (!is_pattern(input))
            paths.push_back(input);
        else if (!expand(input, paths, error))
            return false;
    }
    std::stable_sort(paths.begin(), paths.end(), natural_less);
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return true;
}

std::string sequence_name(const std::vector<std::string> &inputs,
                          const std::vector<std::string> &paths) {
    if (inputs.size() == 1 || paths.size() == 1)
        return inputs.size() == 1 ? inputs.front() : paths.front();
    return paths.front() + " ... (" + std::to_string(paths.size()) + " files)";
}

bool index_sequence(const std::vector<std::string> &paths, const std::string &name,
                    FrameIndex &index, std::string &error) {
    if (paths.size() > std::numeric_limits<std::uint32_t>::max())
        return fail(index, error, name + ": too many files");
    const TrajectoryFormat *format = nullptr;
    if (!one_format(paths, format, error))
        return fail(index, error, error);
    if (!format)
        format = &trajectory_formats().front();
    auto sequence = std::make_shared<Sequence>();
    sequence->files.resize(paths.size());
    std::vector<Placed> placed;
    std::string warning;
    std::size_t cut = 0;
    bool numbered = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        FrameIndex &file = sequence->files[i];
        if (!open_trajectory(paths[i], file, error, format))
            return fail(index, error, error);
        if (!file.warning.empty() && cut++ == 0)
            warning = file.warning;
        numbered = numbered || file.numbered;
        if (file.frames.size() > std::numeric_limits<std::uint32_t>::max())
            return fail(index, error, paths[i] + ": too many frames");
        for (std::size_t k = 0; k < file.frames.size(); ++k)
            placed.push_back({file.frames[k].timestep, 0, static_cast<std::uint32_t>(i),
                              static_cast<std::uint32_t>(k)});
    }
    // Files that give no timesteps have nothing to order or merge by: the
    // files follow one another in name order, frames numbered throughout.
    if (numbered)
        for (std::size_t i = 0; i < placed.size(); ++i)
            placed[i].step = static_cast<std::int64_t>(i);
    // Count each file's repeats of a step, then order by step, repeat, file.
    auto by_file = [](const Placed &a, const Placed &b) {
        return std::tie(a.step, a.file, a.frame) < std::tie(b.step, b.file, b.frame);
    };
    std::sort(placed.begin(), placed.end(), by_file);
    for (std::size_t i = 1; i < placed.size(); ++i)
        if (placed[i].step == placed[i - 1].step && placed[i].file == placed[i - 1].file)
            placed[i].repeat = placed[i - 1].repeat + 1;
    std::sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) {
        return std::tie(a.step, a.repeat, a.file) < std::tie(b.step, b.repeat, b.file);
    });
    index = FrameIndex();
    index.path = name;
    index.format = format;
    sequence->parts.reserve(placed.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const Placed &p = placed[i];
        if (i == 0 || p.step != placed[i - 1].step || p.repeat != placed[i - 1].repeat) {
            FrameEntry entry;
            entry.offset = sequence->parts.size();
            entry.timestep = p.step;
            index.frames.push_back(entry);
        }
        index.frames.back().atoms += sequence->files[p.file].frames[p.frame].atoms;
        sequence->parts.push_back({p.file, p.frame});
    }
    index.end = sequence->parts.size();
    if (cut > 1)
        warning += " (and a cut last frame in " + std::to_string(cut - 1) + " more files)";
    index.warning = warning;
    index.numbered = numbered;
    // The union of the boxes when every file's scan read its boxes, so that
    // a sequence needs no pass over its rows to fit it into view either.
    index.boxes_known = !sequence->files.empty();
    for (const FrameIndex &file : sequence->files) {
        index.boxes_known = index.boxes_known && file.boxes_known;
        for (int a = 0; a < 3 && index.boxes_known; ++a) {
            const bool first = &file == &sequence->files.front();
            index.boxes_lo[a] =
                first ? file.boxes_lo[a] : std::min(index.boxes_lo[a], file.boxes_lo[a]);
            index.boxes_hi[a] =
                first ? file.boxes_hi[a] : std::max(index.boxes_hi[a], file.boxes_hi[a]);
        }
    }
    index.sequence = std::move(sequence);
    return true;
}

namespace {

// Streams kept open at most: one per file up to this many files (ranks),
// none beyond, so that a run on thousands of ranks does not use up file
// descriptors (each part is then decompressed from its file's start).
constexpr std::size_t kKeptStreams = 256;

// Frame `k` of file `f` into into, through the file's own stream; the
// stream is let go when nothing further on in the file is left to read (a
// file per step keeps none open).
bool read_part(const Sequence &s, const SequencePart &part, Frame &into, Frame &owner,
               std::string &error) {
    std::vector<std::shared_ptr<io::Cursor>> &cursors = owner.part_cursors;
    if (cursors.size() != s.files.size())
        cursors.assign(s.files.size(), nullptr);
    const FrameIndex &file = s.files[part.file];
    std::swap(into.cursor, cursors[part.file]);
    const bool ok = read_frame(file, part.frame, into, error);
    std::swap(into.cursor, cursors[part.file]);
    if (part.frame + 1 >= file.frames.size() || s.files.size() > kKeptStreams)
        cursors[part.file].reset();
    return ok;
}

// The other part's atoms after frame's, which holds the parts before it.
bool append(Frame &frame, const Frame &part, const std::string &first, const std::string &name,
            std::string &error) {
    if (part.columns != frame.columns || part.fields.size() != frame.fields.size()) {
        error = first + " and " + name + ": step " + std::to_string(frame.timestep) +
                ": the parts of a frame have different columns";
        return false;
    }
    frame.declared += part.declared;
    frame.atoms += part.atoms;
    frame.skipped += part.skipped;
    frame.position.insert(frame.position.end(), part.position.begin(), part.position.end());
    frame.id.insert(frame.id.end(), part.id.begin(), part.id.end());
    frame.type.insert(frame.type.end(), part.type.begin(), part.type.end());
    for (std::size_t i = 0; i < part.fields.size(); ++i)
        frame.fields[i].values.insert(frame.fields[i].values.end(), part.fields[i].values.begin(),
                                      part.fields[i].values.end());
    for (std::uint32_t e : part.element) {
        const std::string &n = part.element_names[e];
        std::uint32_t at = 0;
        if (!element_index(frame, n.data(), n.data() + n.size(), at)) {
            error = name + ": step " + std::to_string(frame.timestep) +
                    ": more than 256 element names in one frame";
            return false;
        }
        frame.element.push_back(at);
    }
    return true;
}

// Whether two parts hold the same atom id; `ends` are the parts' ends in
// frame.id. Ids of a part among themselves are its file's business. LAMMPS
// numbers atoms densely, so a table by id does it in one pass; ids spread
// wider are sorted instead.
bool overlap(const Frame &frame, const std::vector<std::size_t> &ends, std::size_t &first_part,
             std::size_t &second_part, std::int64_t &id) {
    const std::vector<std::int64_t> &ids = frame.id;
    if (ids.size() != frame.atoms || ids.empty())
        return false; // no ids to tell by
    const auto [lo, hi] = std::minmax_element(ids.begin(), ids.end());
    const auto span = static_cast<std::uint64_t>(*hi) - static_cast<std::uint64_t>(*lo);
    std::size_t p = 0;
    if (span < 4 * static_cast<std::uint64_t>(ids.size()) + 4096) {
        thread_local std::vector<std::uint32_t> owner; // part + 1, 0: none yet
        owner.assign(static_cast<std::size_t>(span) + 1, 0);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            while (i >= ends[p])
                ++p;
            std::uint32_t &o = owner[static_cast<std::size_t>(ids[i] - *lo)];
            if (o != 0 && o != p + 1) {
                first_part = o - 1;
                second_part = p;
                id = ids[i];
                return true;
            }
            o = static_cast<std::uint32_t>(p + 1);
        }
        return false;
    }
    std::vector<std::pair<std::int64_t, std::uint32_t>> owned(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        while (i >= ends[p])
            ++p;
        owned[i] = {ids[i], static_cast<std::uint32_t>(p)};
    }
    std::sort(owned.begin(), owned.end());
    for (std::size_t i = 1; i < owned.size(); ++i)
        if (owned[i].first == owned[i - 1].first && owned[i].second != owned[i - 1].second) {
            first_part = owned[i - 1].second;
            second_part = owned[i].second;
            id = owned[i].first;
            return true;
        }
    return false;
}

} // namespace

bool read_sequence(const FrameIndex &index, std::size_t k, Frame &frame, std::string &error) {
    const Sequence &s = *index.sequence;
    if (k >= index.frames.size()) {
        clear_atoms(frame);
        error = index.path + ": frame " + std::to_string(k + 1) +
                ": no such frame (the index has " + std::to_string(index.frames.size()) + ")";
        return false;
    }
    const std::size_t b = index.frames[k].offset;
    const std::size_t e = k + 1 < index.frames.size() ? index.frames[k + 1].offset : index.end;
    if (b >= e || e > s.parts.size()) {
        clear_atoms(frame);
        error = index.path + ": frame " + std::to_string(k + 1) + ": the index is inconsistent";
        return false;
    }
    if (!read_part(s, s.parts[b], frame, frame, error))
        return false;
    if (e - b == 1) {
        if (index.numbered)
            frame.timestep = index.frames[k].timestep; // the sequence's numbering
        return true;
    }
    // Parts after the first are read into a frame of this thread's, whose
    // storage the next merged frame reuses.
    thread_local Frame part;
    std::vector<std::size_t> ends{frame.id.size()};
    for (std::size_t i = b + 1; i < e; ++i) {
        const std::string &name = s.files[s.parts[i].file].path;
        if (!read_part(s, s.parts[i], part, frame, error) ||
            !append(frame, part, s.files[s.parts[b].file].path, name, error)) {
            clear_atoms(frame);
            return false;
        }
        ends.push_back(frame.id.size());
    }
    std::size_t p = 0, q = 0;
    std::int64_t id = 0;
    if (overlap(frame, ends, p, q, id)) {
        clear_atoms(frame);
        error = s.files[s.parts[b + p].file].path + " and " + s.files[s.parts[b + q].file].path +
                ": step " + std::to_string(frame.timestep) + ": both hold atom " +
                std::to_string(id) +
                "; the parts of a frame hold different atoms (the same step twice? give one "
                "copy)";
        return false;
    }
    return true;
}

} // namespace detail

} // namespace vv
