// The byte layer under every reader: the same bytes read the same through
// a file, a gzip stream, a zstd stream of several frames and memory, streams
// cut short or corrupt, lines and their limit, the whitespace
// rule, binary values in both byte orders, and a second pass.
#include "viewer/io/binary.h"
#include "viewer/io/lines.h"
#include "viewer/io/numbers.h"
#include "viewer/io/source.h"
#include "viewer/io/tokens.h"
#include "viewer/io/window.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace vv;

enum class Kind { Memory, File, Gzip, Zstd };
const Kind kKinds[] = {Kind::Memory, Kind::File, Kind::Gzip, Kind::Zstd};
const char *const kKindNames[] = {"memory", "file", "gzip", "zstd"};

// `bytes` as the zstd tool writes them, in frames of a quarter of the bytes
// (16 KiB at least) one after another, as a file grown by appends is.
void write_zstd_frames(const std::string &path, const std::string &bytes) {
    const std::size_t frame = std::max<std::size_t>(bytes.size() / 4 + 1, 16384);
    std::remove(path.c_str());
    std::size_t at = 0;
    do {
        const std::string part = path + ".part";
        std::FILE *f = std::fopen(part.c_str(), "wb");
        const std::string piece = bytes.substr(at, frame);
        std::fwrite(piece.data(), 1, piece.size(), f);
        std::fclose(f);
        ASSERT_EQ(std::system(("zstd -q -c " + part + " >> " + path).c_str()), 0);
        std::remove(part.c_str());
        at += frame;
    } while (at < bytes.size());
}

// `bytes` in a temporary file, compressed as the kind says; `cut` drops that
// many bytes from the end of the file written.
std::string write_file(const std::string &bytes, Kind kind, std::size_t cut = 0) {
    std::string path = ::testing::TempDir() + "viewer_io_XXXXXX";
    const int fd = mkstemp(path.data());
    EXPECT_GE(fd, 0);
    close(fd);
    if (kind == Kind::Zstd) {
        write_zstd_frames(path, bytes);
    } else if (kind == Kind::Gzip) {
        const gzFile f = gzopen(path.c_str(), "wb");
        EXPECT_EQ(gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size())),
                  static_cast<int>(bytes.size()));
        gzclose(f);
    } else {
        std::FILE *f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    struct stat st;
    if (cut && stat(path.c_str(), &st) == 0) {
        EXPECT_EQ(truncate(path.c_str(), st.st_size - static_cast<off_t>(cut)), 0);
    }
    return path;
}

// The bytes as a source of the kind; the file, if any, removed with it.
struct Opened {
    std::string path;
    std::unique_ptr<io::Source> source;
    ~Opened() {
        if (!path.empty())
            std::remove(path.c_str());
    }
};

std::unique_ptr<Opened> open_as(Kind kind, const std::string &bytes, std::size_t cut = 0) {
    auto o = std::make_unique<Opened>();
    std::string error;
    if (kind == Kind::Memory) {
        o->source = io::memory_source(bytes.data(), bytes.size());
        return o;
    }
    o->path = write_file(bytes, kind, cut);
    io::Kind told = io::Kind::Plain;
    o->source = io::open_source(o->path, told, error);
    EXPECT_TRUE(o->source) << error;
    const io::Kind want[] = {io::Kind::Plain, io::Kind::Plain, io::Kind::Gzip, io::Kind::Zstd};
    EXPECT_EQ(told, want[static_cast<int>(kind)]);
    return o;
}

// What a scan makes of a source: each line's number and tokens, then how
// it ended.
std::string scan(io::Window &w, std::size_t max_line) {
    io::Lines lines(w, max_line);
    std::string out, error;
    std::string_view line;
    for (;;) {
        switch (lines.next(line, error)) {
        case io::Lines::Got::Line: {
            out += std::to_string(lines.number) + ":";
            std::vector<std::string_view> words;
            io::split(line, words);
            for (std::string_view word : words)
                out += std::string(word) + "|";
            out += "\n";
            continue;
        }
        case io::Lines::Got::End:
            return out + "end";
        case io::Lines::Got::TooLong:
            return out + "line " + std::to_string(lines.number) + " too long";
        case io::Lines::Got::Failed:
            return out + "failed: " + error;
        }
    }
}

std::string scan(io::Source &source, std::size_t max_line = 64) {
    io::Window w(source);
    return scan(w, max_line);
}

TEST(ViewerIo, EveryKindOfSourceGivesTheSameLinesAndTokens) {
    const struct {
        std::string bytes;
        std::size_t max_line;
        std::string want;
    } kCases[] = {
        {"", 64, "end"},
        {"a b\r\nc\t\vd\n\n  e", 64, "1:a|b|\n2:c|d|\n3:\n4:e|\nend"},
        {"\r\n\f\n x\r", 64, "1:\n2:\n3:x|\nend"},
        // The limit counts a '\r' before the '\n', and a last line without one.
        {"12345678\n1234567\r\n", 8, "1:12345678|\n2:1234567|\nend"},
        {"ok\n12345678\r\nnext\n", 8, "1:ok|\nline 2 too long"},
        {"ok\n123456789", 8, "1:ok|\nline 2 too long"},
        {"1234567890123\n", 8, "line 1 too long"},
    };
    for (const auto &c : kCases)
        for (const Kind kind : kKinds) {
            SCOPED_TRACE(kKindNames[static_cast<int>(kind)] + (": " + c.bytes));
            EXPECT_EQ(scan(*open_as(kind, c.bytes)->source, c.max_line), c.want);
        }
    // Past a block: the window slides, and a line across its edge is whole.
    std::string big, want;
    for (int i = 1; big.size() <= io::kBlock + 100; ++i) {
        const std::string n = std::to_string(i);
        big += n + " x" + n + "\n";
        want += n + ":" + n + "|x" + n + "|\n";
    }
    for (const Kind kind : kKinds)
        EXPECT_TRUE(scan(*open_as(kind, big)->source) == want + "end")
            << kKindNames[static_cast<int>(kind)];
}

// A compressed stream cut short reads as its bytes up to the cut, as a plain
// file cut there would, not as an error or as made-up bytes; one whose bytes
// after the magic are not the stream is an error, one line naming the file.
TEST(ViewerIo, ACompressedStreamCutShortEndsAtTheCutACorruptOneFails) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += std::to_string(i * 7919 % 10007) + "\n";
    const std::string whole = scan(*open_as(Kind::Memory, text)->source);
    for (const Kind kind : {Kind::Gzip, Kind::Zstd}) {
        SCOPED_TRACE(kKindNames[static_cast<int>(kind)]);
        std::string cut = scan(*open_as(kind, text, 100)->source);
        ASSERT_GE(cut.size(), 4u);
        ASSERT_EQ(cut.substr(cut.size() - 3), "end");
        cut.resize(cut.rfind('\n', cut.size() - 5) + 1); // the last line may be partial
        EXPECT_GT(cut.size(), whole.size() / 2);
        EXPECT_LT(cut.size(), whole.size() - 3);
        EXPECT_EQ(whole.compare(0, cut.size(), cut), 0);
    }
    const struct {
        std::string bytes;
        io::Kind kind;
        std::string message;
    } kCorrupt[] = {
        {std::string("\x28\xb5\x2f\xfd", 4) + std::string(64, 'x'), io::Kind::Zstd,
         ": cannot decompress: "},
        {std::string("\x1f\x8b\x08\x00", 4) + std::string(64, 'x'), io::Kind::Gzip,
         ": cannot decompress: "},
    };
    for (const auto &c : kCorrupt) {
        const std::string path = write_file(c.bytes, Kind::File);
        io::Kind kind = io::Kind::Plain;
        std::string error;
        const std::unique_ptr<io::Source> source = io::open_source(path, kind, error);
        ASSERT_TRUE(source) << error;
        EXPECT_EQ(kind, c.kind);
        char buf[256];
        EXPECT_EQ(source->read(buf, sizeof buf, error), -1);
        EXPECT_EQ(error.substr(0, path.size() + c.message.size()), path + c.message) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
        std::remove(path.c_str());
    }
}

// A blank is ' ', '\t', '\v', '\f' or '\r', and no other byte.
TEST(ViewerIo, OneWhitespaceRule) {
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(io::is_blank(static_cast<char>(c)),
                  std::string(" \t\v\f\r").find(char(c)) != std::string::npos)
            << c;
    std::vector<std::string_view> w;
    io::split("\va\x0b b\f\tc\x85\xa0"
              "d,e\r",
              w);
    EXPECT_EQ(w, (std::vector<std::string_view>{"a", "b",
                                                "c\x85\xa0"
                                                "d,e"}));
    const std::string s = "1,2;3 , 4";
    const char *p = s.data(), *tb, *te;
    std::string tokens;
    while (io::next_token(p, s.data() + s.size(), tb, te, ",;"))
        tokens += std::string(tb, te) + "|";
    EXPECT_EQ(tokens, "1|2|3|4|");
    EXPECT_TRUE(io::all_blank(" \t\v\f\r"));
    EXPECT_FALSE(io::all_blank(" \n"));
    std::uint64_t n = 0;
    const std::string count = "\f +42\v";
    EXPECT_TRUE(io::parse_int(count.data(), count.data() + count.size(), n));
    EXPECT_EQ(n, 42u);
}

TEST(ViewerIo, NumbersAsFilesSpellThem) {
    const struct {
        const char *text;
        bool ok;
        double value;
    } kCases[] = {{"+1.5", true, 1.5},       {"-0.25", true, -0.25},
                  {"1e999", true, HUGE_VAL}, {"-1e999", true, -HUGE_VAL},
                  {"1e-999", true, 0},       {"+-1", false, 0},
                  {"1x", false, 0},          {"", false, 0},
                  {" 1", false, 0}};
    for (const auto &c : kCases) {
        double v = 0;
        EXPECT_EQ(io::parse_number(c.text, std::strlen(c.text), v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    EXPECT_EQ(io::to_float(1e300), HUGE_VALF);
    EXPECT_EQ(io::to_float(-1e300), -HUGE_VALF);
    EXPECT_EQ(io::to_float(0.5), 0.5f);
}

// Each type's little-endian bytes and value; big-endian is the bytes reversed.
TEST(ViewerIo, EveryBinaryTypeInBothByteOrders) {
    using io::Type;
    const struct {
        Type type;
        std::vector<unsigned char> little;
        double value;
    } kCases[] = {
        {Type::I8, {0xfe}, -2},
        {Type::U8, {0xfe}, 254},
        {Type::I16, {0x00, 0x80}, -32768},
        {Type::U16, {0x34, 0x12}, 0x1234},
        {Type::I32, {0xfe, 0xff, 0xff, 0xff}, -2},
        {Type::U32, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {Type::F32, {0x00, 0x00, 0xc0, 0x3f}, 1.5},
        {Type::F64, {0, 0, 0, 0, 0, 0, 0x04, 0xc0}, -2.5},
        {Type::I64, {0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, -2},
        {Type::U64, {0, 0, 0, 0, 0, 0, 0, 0x80}, 9223372036854775808.0},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        ASSERT_EQ(io::size_of(c.type), c.little.size());
        const std::string little(c.little.begin(), c.little.end());
        const std::string big(c.little.rbegin(), c.little.rend());
        EXPECT_EQ(io::decode(little.data(), c.type, io::needs_swap(true)), c.value);
        EXPECT_EQ(io::decode(big.data(), c.type, io::needs_swap(false)), c.value);
    }
    EXPECT_EQ(io::load_little<std::uint32_t>("\x78\x56\x34\x12"), 0x12345678u);
}

// A second pass: back to the start or to a place kept, the same lines again,
// and the length of the whole stream.
TEST(ViewerIo, ASourceIsReadASecondTime) {
    const std::string text = "ply\nformat ascii 1.0\nend_header\n1 2 3\n4 5 6\n";
    for (const Kind kind : kKinds) {
        SCOPED_TRACE(kKindNames[static_cast<int>(kind)]);
        const auto o = open_as(kind, text);
        std::uint64_t size = 0;
        std::string error;
        ASSERT_TRUE(o->source->size(size, error)) << error;
        EXPECT_EQ(size, text.size());
        io::Window w(*o->source);
        const std::string first = scan(w, 64);
        EXPECT_EQ(first, "1:ply|\n2:format|ascii|1.0|\n3:end_header|\n4:1|2|3|\n5:4|5|6|\nend");
        ASSERT_TRUE(w.seek(0, error)) << error;
        EXPECT_EQ(scan(w, 64), first);
        // The rows again, from where the header ended.
        ASSERT_TRUE(w.seek(text.find("1 2"), error)) << error;
        EXPECT_EQ(scan(w, 64), "1:1|2|3|\n2:4|5|6|\nend");
        ASSERT_TRUE(o->source->rewind(error)) << error;
        EXPECT_EQ(scan(*o->source), first);
        // Bytes taken past the end: none, and no error.
        io::Window bytes(*o->source);
        ASSERT_TRUE(bytes.seek(text.size() - 4, error)) << error;
        EXPECT_EQ(std::string(bytes.take(4, error), 4), "5 6\n");
        EXPECT_EQ(bytes.take(1, error), nullptr);
        EXPECT_EQ(error, "");
    }
}

} // namespace
