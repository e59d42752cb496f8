#include "viewer/trajectory/rows.h"

#include "viewer/io/text.h"
#include "viewer/trajectory/indexed.h"

#include <algorithm>

namespace vv {

namespace detail {

namespace {

// The template with %i and %n replaced by the numbers.
std::string say(const char *words, std::uint64_t i, std::uint64_t n) {
    std::string out;
    for (const char *p = words; *p; ++p) {
        if (p[0] == '%' && (p[1] == 'i' || p[1] == 'n')) {
            out += std::to_string(*++p == 'i' ? i : n);
            continue;
        }
        out += *p;
    }
    return out;
}

} // namespace

bool roles_by_name(const std::vector<std::string> &names, std::vector<Role> &roles,
                   Flavour &flavour, std::string &position_columns) {
    // Wrapped before unwrapped, real before scaled.
    static const char *const kSets[4][3] = {
        {"x", "y", "z"}, {"xu", "yu", "zu"}, {"xs", "ys", "zs"}, {"xsu", "ysu", "zsu"}};
    const std::size_t n = names.size();
    roles.assign(n, Role::kField);
    auto find = [&](const char *want) {
        for (std::size_t i = 0; i < n; ++i)
            if (roles[i] == Role::kField && names[i] == want)
                return static_cast<long>(i);
        return -1L;
    };
    int set = -1;
    for (int s = 0; s < 4 && set < 0; ++s) {
        const long ix = find(kSets[s][0]), iy = find(kSets[s][1]);
        if (ix < 0 || iy < 0)
            continue;
        set = s;
        roles[ix] = Role::kX;
        roles[iy] = Role::kY;
        const long iz = find(kSets[s][2]);
        if (iz >= 0)
            roles[iz] = Role::kZ;
        position_columns = std::string(kSets[s][0]) + " " + kSets[s][1] +
                           (iz >= 0 ? std::string(" ") + kSets[s][2] : "");
    }
    if (set < 0)
        return false;
    flavour = static_cast<Flavour>(set); // the sets are in Flavour's order
    const struct {
        const char *name;
        Role role;
    } named[] = {{"id", Role::kId}, {"type", Role::kType}, {"element", Role::kElement}};
    for (const auto &c : named) {
        const long i = find(c.name);
        if (i >= 0)
            roles[i] = c.role;
    }
    return true;
}

void RowMap::start(Frame &frame) {
    frame.columns.clear();
    frame.position_columns.clear();
    roles_.clear();
    field_.clear();
    fields_ = 0;
    std::fill(std::begin(has_), std::end(has_), false);
}

void RowMap::add(Frame &frame, const std::string &name, Role role) {
    frame.columns.push_back(name);
    roles_.push_back(role);
    has_[static_cast<int>(role)] = true;
    std::uint32_t f = 0;
    if (role == Role::kField) {
        f = fields_++;
        if (frame.fields.size() <= f)
            frame.fields.emplace_back();
        Field &field = frame.fields[f];
        field.name = printable(name.data(), name.size());
        field.values.clear();
    }
    field_.push_back(f);
}

void RowMap::finish(Frame &frame, Flavour flavour, const std::string &position_columns) {
    frame.fields.resize(fields_);
    frame.position_columns = position_columns;
    flavour_ = flavour;
}

bool RowMap::by_name(Frame &frame, const std::vector<std::string> &names) {
    std::vector<Role> roles;
    Flavour flavour = Flavour::kPlain;
    std::string position;
    const bool found = roles_by_name(names, roles, flavour, position);
    start(frame);
    for (std::size_t i = 0; i < names.size(); ++i)
        add(frame, names[i], roles[i]);
    finish(frame, flavour, position);
    return found;
}

bool RowMap::has(Role role) const {
    return has_[static_cast<int>(role)];
}

bool RowMap::read(LineReader &in, Frame &frame, std::uint64_t count_line, const RowWords &words,
                  const std::string &name, std::size_t k, std::string &error) {
    auto fail = [&](std::uint64_t line, const std::string &problem) {
        error = where(name, k, line) + problem;
        return false;
    };
    const std::uint64_t count = frame.declared;
    const std::size_t n = roles_.size();
    // Every row holds a field and its separator per column: a count that
    // the bytes left cannot hold is refused before anything is reserved.
    const auto left = static_cast<std::size_t>(in.end - in.p);
    if (count > left / (2 * std::max<std::size_t>(n, 1)))
        return fail(count_line, say(words.too_many, left, count));
    frame.position.reserve(3 * count);
    if (has(Role::kId))
        frame.id.reserve(count);
    if (has(Role::kType))
        frame.type.reserve(count);
    if (has(Role::kElement))
        frame.element.reserve(count);
    for (Field &f : frame.fields)
        f.values.reserve(count);
    values_.resize(frame.fields.size());
    const bool scaled = flavour_ == Flavour::kScaled || flavour_ == Flavour::kScaledUnwrapped;
    const Box &box = frame.box;
    const double len[3] = {box.hi[0] - box.lo[0], box.hi[1] - box.lo[1], box.hi[2] - box.lo[2]};
    for (std::uint64_t r = 0; r < count; ++r) {
        const char *b, *e;
        const bool more = in.next(b, e);
        if (!more || (words.item_ends_rows && starts_with(b, e, "ITEM:")))
            return fail(in.number + (more ? 0 : 1), say(words.short_rows, r, count));
        double pos[3] = {0, 0, 0};
        std::int64_t id = 0;
        std::int32_t type = 0;
        std::uint32_t element = 0;
        const char *p = b, *tb, *te;
        for (std::size_t i = 0; i < n; ++i) {
            if (!next_token(p, e, tb, te))
                return fail(in.number, say(words.few_columns, i, n));
            bool ok = true;
            switch (roles_[i]) {
            case Role::kSkip:
                break;
            case Role::kId:
                ok = parse_int(tb, te, id);
                break;
            case Role::kType:
                ok = parse_int(tb, te, type);
                break;
            case Role::kElement:
                ok = element_index(frame, tb, te, element);
                break;
            case Role::kX:
            case Role::kY:
            case Role::kZ:
                ok = parse_number(tb, te - tb,
                                  pos[static_cast<int>(roles_[i]) - static_cast<int>(Role::kX)]);
                break;
            case Role::kField:
                ok = parse_number(tb, te - tb, values_[field_[i]]);
                break;
            }
            if (!ok)
                return fail(in.number,
                            "column " +
                                quote_token(frame.columns[i].data(), frame.columns[i].size()) +
                                ": bad value " + quote_token(tb, te - tb));
        }
        if (next_token(p, e, tb, te))
            return fail(in.number, say(words.more_columns, 0, n));
        if (scaled)
            unscale(box, len, has(Role::kZ), pos);
        if (!add_position(frame, pos))
            continue;
        if (has(Role::kId))
            frame.id.push_back(id);
        if (has(Role::kType))
            frame.type.push_back(type);
        if (has(Role::kElement))
            frame.element.push_back(element);
        for (std::size_t f = 0; f < values_.size(); ++f)
            frame.fields[f].values.push_back(to_float(values_[f]));
    }
    frame.atoms = frame.position.size() / 3;
    return true;
}

} // namespace detail

} // namespace vv
