// Picks a reader for a file: ours by extension or by the file's start, the
// model importer for the rest. LAS is read by a reader of our own
// (las.cpp): no Debian package reads LAS into a block of ours (PDAL is a
// pipeline framework with heavy dependencies and point tables of its own),
// and its fixed-size records are short to read.
#include "viewer/formats/load.h"

#include "viewer/formats/las.h"
#include "viewer/formats/model.h"
#include "viewer/formats/pcd.h"
#include "viewer/formats/ply.h"
#include "viewer/formats/row_counts.h"
#include "viewer/formats/xyz.h"
#include "viewer/io/lines.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace vv {
namespace {

// A reader of our own: the open file in, "NAME: problem" out on failure.
using Reader = bool (*)(io::Source &source, const std::string &name, Cloud &cloud,
                        std::string &error);

// Our readers by file name extension, in lower case. A new format is one
// row here; files that no row claims go to the model importer.
const struct {
    const char *extension;
    Reader read;
} kReaders[] = {
    {".xyz", read_xyz}, {".ply", read_ply}, {".pcd", read_pcd},
    {".las", read_las}, {".laz", read_laz}, // refused with a message: it is compressed
};

bool has_extension(const std::string &path, const char *ext) {
    const std::size_t n = std::strlen(ext);
    if (path.size() < n)
        return false;
    return std::equal(
        path.end() - static_cast<std::ptrdiff_t>(n), path.end(), ext,
        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// Whether the file starts as PCD does: "# .PCD" on its first line, or a
// VERSION line as the first that is not a comment.
bool looks_like_pcd(const std::string &start) {
    if (start.rfind("# .PCD", 0) == 0)
        return true;
    io::LineReader lines{start.data(), start.data() + start.size()};
    const char *b, *e;
    while (lines.next(b, e)) {
        io::trim(b, e);
        if (b < e && *b != '#')
            return io::starts_with(b, e, "VERSION");
    }
    return false;
}

// The reader for the file's extension; a PLY, PCD or LAS file under another
// name is told by its start, so that it never reaches the importer either.
Reader reader_for(const std::string &path, const std::string &start) {
    for (const auto &r : kReaders)
        if (has_extension(path, r.extension))
            return r.read;
    if (start.rfind("ply\n", 0) == 0 || start.rfind("ply\r", 0) == 0)
        return read_ply;
    if (looks_like_pcd(start))
        return read_pcd;
    if (start.rfind("LASF", 0) == 0)
        return read_las;
    return nullptr;
}

// The importer reads the file itself; it only gets one whose header does
// not promise more rows than there are (OFF; PLY has a reader of our own).
bool import_checked(std::unique_ptr<io::Source> source, const std::string &path, Cloud &cloud,
                    std::string &error) {
    const bool complete = check_row_counts(*source, path, error);
    source.reset();
    return complete && read_model(path, cloud, error);
}

// The first bytes of the source (up to 4096), the source then rewound.
bool read_start(io::Source &source, std::string &start, std::string &error) {
    return io::read_start(source, 4096, start, error) && source.rewind(error);
}

} // namespace

bool load_cloud(const std::string &path, Cloud &cloud, std::string &error) {
    clear(cloud);
    // The importer's own messages for these are vague ("unable to open"), so
    // ask the file system first.
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        error = path + ": " + (errno == ENOENT ? "no such file" : std::strerror(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = path + ": is a directory";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot be read (" + std::strerror(errno) + ")";
        return false;
    }
    io::Kind kind = io::Kind::Plain;
    std::unique_ptr<io::Source> source = io::open_source(fd, path, kind, error);
    std::string start;
    if (!source || !read_start(*source, start, error))
        return false;
    if (start.empty()) {
        error = path + ": empty file";
        return false;
    }
    // A compressed file is read decompressed, named as it would be without
    // ".gz" or ".zst"; the importer reads files itself and cannot take one.
    const char *suffix = kind == io::Kind::Gzip ? ".gz" : ".zst";
    const bool compressed = kind != io::Kind::Plain;
    const std::string named = compressed && has_extension(path, suffix)
                                  ? path.substr(0, path.size() - std::strlen(suffix))
                                  : path;
    const Reader read = reader_for(named, start);
    if (compressed && !read) {
        error = path + ": a " + io::kind_name(kind) +
                " file of a format only the model importer reads; decompress it first";
        return false;
    }
    if (!(read ? read(*source, path, cloud, error)
               : import_checked(std::move(source), path, cloud, error))) {
        clear(cloud);
        return false;
    }
    colour_by_height(cloud);
    link_lists(cloud);
    return true;
}

} // namespace vv
