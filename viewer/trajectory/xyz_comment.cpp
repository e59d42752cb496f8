#include "viewer/trajectory/xyz_comment.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/indexed.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace vv {

namespace detail {

namespace {

bool same_key(const std::string &key, const char *want) {
    const std::size_t n = std::strlen(want);
    if (key.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(key[i])) != want[i])
            return false;
    return true;
}

// A value or key as the comment spells it: quoted ("...", a backslash
// escaping the next byte), braced ({...}), or up to the next blank or '='.
// An unclosed quote runs to the end of the line: a plain XYZ comment is free
// text.
std::string comment_word(const char *&p, const char *e, bool key) {
    std::string out;
    if (p < e && *p == '"') {
        for (++p; p < e && *p != '"'; ++p) {
            if (*p == '\\' && p + 1 < e)
                ++p;
            out += *p;
        }
        if (p < e)
            ++p;
        return out;
    }
    if (!key && p < e && *p == '{') {
        const char *close = static_cast<const char *>(std::memchr(p, '}', e - p));
        const char *stop = close ? close : e;
        out.assign(p + 1, stop);
        p = close ? close + 1 : e;
        return out;
    }
    while (p < e && !is_blank(*p) && (!key || *p != '='))
        out += *p++;
    return out;
}

// n finite numbers from a value (blanks, commas or brackets between them).
bool numbers(const std::string &value, double *out, int n) {
    std::string text = value;
    for (char &c : text)
        if (c == ',' || c == '[' || c == ']' || c == '{' || c == '}')
            c = ' ';
    const char *p = text.data(), *e = p + text.size(), *tb, *te;
    int got = 0;
    for (; next_token(p, e, tb, te); ++got)
        if (got == n || !parse_number(tb, te - tb, out[got]) || !std::isfinite(out[got]))
            return false;
    return got == n;
}

bool say(std::string &problem, const std::string &what) {
    problem = what;
    return false;
}

} // namespace

void comment_pairs(const char *p, const char *e, std::vector<Pair> &pairs) {
    pairs.clear();
    for (;;) {
        while (p < e && is_blank(*p))
            ++p;
        if (p >= e)
            return;
        Pair pair;
        const char *before = p;
        pair.key = comment_word(p, e, true);
        const char *q = p;
        while (q < e && is_blank(*q))
            ++q;
        if (q < e && *q == '=') {
            ++q;
            while (q < e && is_blank(*q))
                ++q;
            p = q;
            pair.value = comment_word(p, e, false);
        } else {
            pair.value = "T";
        }
        if (p == before) // a lone '=': passed over
            ++p;
        pairs.push_back(std::move(pair));
    }
}

const Pair *find_pair(const std::vector<Pair> &pairs, const char *key) {
    for (const Pair &pair : pairs)
        if (same_key(pair.key, key))
            return &pair;
    return nullptr;
}

int comment_step(const std::vector<Pair> &pairs, std::int64_t &step, const Pair *&bad) {
    bad = find_pair(pairs, "step");
    if (!bad)
        bad = find_pair(pairs, "timestep");
    if (!bad)
        return 0;
    const std::string &v = bad->value;
    return parse_int(v.data(), v.data() + v.size(), step) ? 1 : -1;
}

std::string bad_step(const Pair &pair) {
    return printable(pair.key.data(), pair.key.size()) +
           "= is not an integer: " + quote_token(pair.value.data(), pair.value.size());
}

bool comment_box(const std::vector<Pair> &pairs, Box &box, std::string &problem) {
    box = Box();
    if (const Pair *pbc = find_pair(pairs, "pbc")) {
        const char *p = pbc->value.data(), *e = p + pbc->value.size(), *tb, *te;
        for (int a = 0; a < 3 && next_token(p, e, tb, te); ++a)
            box.boundary[a] = (*tb == 'T' || *tb == 't') ? "pp" : "ff";
    }
    const Pair *lattice = find_pair(pairs, "lattice");
    if (!lattice)
        return true;
    double v[9];
    if (!numbers(lattice->value, v, 9))
        return say(problem, "Lattice= is not 9 finite numbers: " +
                                quote_token(lattice->value.data(), lattice->value.size()));
    if (const Pair *origin = find_pair(pairs, "origin"))
        if (!numbers(origin->value, box.lo, 3))
            return say(problem, "Origin= is not 3 finite numbers: " +
                                    quote_token(origin->value.data(), origin->value.size()));
    box.has_cell = true;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            box.cell[r][c] = v[3 * r + c];
    turn_cell(box);
    return true;
}

int lammps_xyz_step(const char *b, const char *e, std::int64_t &step) {
    trim(b, e);
    if (!starts_with(b, e, kLammpsXyz))
        return 0;
    const char *p = b + sizeof kLammpsXyz - 1, *tb, *te;
    return next_token(p, e, tb, te) && parse_int(tb, te, step) ? 1 : -1;
}

void turn_cell(Box &box) {
    // LAMMPS's restricted triclinic form of the same cell.
    const double *a = box.cell[0], *b = box.cell[1], *c = box.cell[2];
    auto dot = [](const double *u, const double *w) {
        return u[0] * w[0] + u[1] * w[1] + u[2] * w[2];
    };
    const double ax = std::sqrt(dot(a, a));
    const double bx = ax > 0 ? dot(a, b) / ax : 0;
    const double by = std::sqrt(std::max(0.0, dot(b, b) - bx * bx));
    const double cx = ax > 0 ? dot(a, c) / ax : 0;
    const double cy = by > 0 ? (dot(b, c) - bx * cx) / by : 0;
    const double cz = std::sqrt(std::max(0.0, dot(c, c) - cx * cx - cy * cy));
    const double len[3] = {ax, by, cz};
    for (int i = 0; i < 3; ++i)
        box.hi[i] = box.lo[i] + len[i];
    box.xy = bx;
    box.xz = cx;
    box.yz = cy;
    box.triclinic = bx != 0 || cx != 0 || cy != 0;
}

} // namespace detail

} // namespace vv
