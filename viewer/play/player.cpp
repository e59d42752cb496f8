#include "viewer/play/player.h"

#include <algorithm>
#include <cstdio>

namespace vv {

namespace {

// Widens r by s (either may be empty).
void widen(Range &r, const Range &s) {
    if (s.empty)
        return;
    r.lo = r.empty ? s.lo : std::min(r.lo, s.lo);
    r.hi = r.empty ? s.hi : std::max(r.hi, s.hi);
    r.empty = false;
}

} // namespace

bool Player::open(const std::vector<std::string> &inputs, bool range_per_frame, std::string &error,
                  const std::function<void(std::size_t, std::size_t)> &progress) {
    if (!open_trajectories(inputs, trajectory_, error))
        return false;
    const std::string &path = trajectory_.path;
    const std::size_t n = frames();
    if (n == 0) {
        // Only a cut first frame: the warning says which.
        error = warning().empty() ? path + ": no complete frame" : warning();
        return false;
    }
    range_per_frame_ = range_per_frame;
    // One pass over every frame: the boxes (which a run may change), the
    // largest frame and each column's range. Reading the whole frame costs
    // more than its header alone would, but it also finds a bad frame now
    // rather than in the middle of playback, and gives the ranges.
    std::size_t largest = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!read_frame(trajectory_, k, frame_, error))
            return false;
        fit_.add(frame_.box);
        largest = std::max(largest, frame_.atoms);
        elements_ = elements_ || !frame_.element_names.empty();
        types_ = types_ || !frame_.type.empty();
        skipped_ += frame_.skipped;
        for (const Field &f : frame_.fields) {
            auto at = std::find_if(columns_.begin(), columns_.end(),
                                   [&](const auto &c) { return c.first == f.name; });
            if (at == columns_.end())
                at = columns_.insert(columns_.end(), {f.name, Range()});
            widen(at->second, range_of(f.values.data(), frame_.atoms));
        }
        if (progress)
            progress(k + 1, n);
    }
    fit_.finish();
    if (!allocate(nodes_, largest)) {
        error = path + ": not enough memory for " + std::to_string(largest) + " atoms";
        return false;
    }
    nodes_.count = largest;
    link_lists(nodes_);
    linked_ = largest;
    list_count_ = static_cast<unsigned int>(nodes_.lists.size());
    colouring_ = elements_ ? "element" : "type";
    return read(0, error);
}

bool Player::open_live(std::size_t capacity, std::string &error) {
    fit_.add(frame_.box);
    fit_.finish();
    range_per_frame_ = true;
    types_ = true;
    for (const Field &f : frame_.fields)
        columns_.emplace_back(f.name, Range());
    if (!allocate(nodes_, std::max<std::size_t>(capacity, 1))) {
        error = "not enough memory for " + std::to_string(capacity) + " atoms";
        return false;
    }
    nodes_.count = nodes_.capacity;
    link_lists(nodes_);
    linked_ = nodes_.capacity;
    list_count_ = static_cast<unsigned int>(nodes_.lists.size());
    colouring_ = "type";
    show(0);
    return true;
}

// The lists were linked once for the whole block; a frame of `atoms` ends
// its last list early by cutting one link, and the cut made for the frame
// before is mended first, so a change of atom count costs two stores and
// nothing is copied.
void Player::relink(std::size_t atoms) {
    const std::size_t cap = nodes_.capacity;
    if (atoms == linked_)
        return;
    if (linked_ > 0 && linked_ < cap && linked_ % kListLength != 0)
        nodes_.nodes[linked_ - 1].next = &nodes_.nodes[linked_];
    if (atoms > 0 && atoms < cap)
        nodes_.nodes[atoms - 1].next = nullptr;
    linked_ = atoms;
    list_count_ = static_cast<unsigned int>((atoms + kListLength - 1) / kListLength);
}

void Player::show(std::size_t k) {
    shown_ = k;
    // The scan sized the block for the largest frame; a frame grown since
    // (the file rewritten under us) is drawn in part rather than overrun.
    const std::size_t atoms = std::min(frame_.atoms, nodes_.capacity);
    const float *p = frame_.position.data();
    for (std::size_t i = 0; i < atoms; ++i)
        fit_.apply(p + 3 * i, nodes_.nodes[i]);
    relink(atoms);
    paint_colours();
}

bool Player::read(std::size_t k, std::string &error) {
    if (!read_frame(trajectory_, k, frame_, error))
        return false;
    show(k);
    return true;
}

void Player::paint_colours() {
    Quantities q;
    q.fields = &frame_.fields;
    q.type = &frame_.type;
    q.element = &frame_.element;
    q.element_names = &frame_.element_names;
    // Over the whole run the scan's range; a column it never saw has none.
    Range whole;
    for (const auto &c : columns_)
        if (c.first == colouring_)
            whole = c.second;
    range_ = paint_quantity(q, colouring_, range_per_frame_ ? nullptr : &whole, nodes_.nodes.get(),
                            linked_);
}

std::vector<std::string> Player::colourings() const {
    std::vector<std::string> names;
    if (elements_)
        names.push_back("element");
    // A dump with neither column still gets one colouring: all as type 1.
    if (types_ || !elements_)
        names.push_back("type");
    for (const auto &c : columns_)
        names.push_back(c.first);
    return names;
}

bool Player::colour_by(const std::string &name, std::string &error) {
    if (!check_colouring(colourings(), name, error))
        return false;
    colouring_ = name;
    paint_colours();
    return true;
}

std::string Player::next_colouring() const {
    return vv::next_colouring(colourings(), colouring_);
}

std::string Player::describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "frame %zu/%zu, step %lld, %zu atoms, colour: ", shown_ + 1,
                  frames(), static_cast<long long>(frame_.timestep), frame_.atoms);
    std::string s = text;
    s += colouring_;
    if (colouring_ != "element" && colouring_ != "type") {
        if (range_.empty) {
            s += " (no finite values)";
        } else {
            std::snprintf(text, sizeof text, " %g .. %g%s", static_cast<double>(range_.lo),
                          static_cast<double>(range_.hi), range_per_frame_ ? " (this frame)" : "");
            s += text;
        }
    }
    if (playing)
        s += ", playing at " + std::to_string(fps) + " fps";
    return s;
}

std::size_t Player::target(Step step) const {
    const std::size_t n = frames();
    switch (step) {
    case Step::Back:
        return shown_ == 0 ? n - 1 : shown_ - 1;
    case Step::Forward:
        return shown_ + 1 >= n ? 0 : shown_ + 1;
    case Step::First:
        return 0;
    case Step::Last:
        return n - 1;
    }
    return shown_;
}

void Player::faster() {
    fps = std::min(fps * 2, kMaxFps);
}

void Player::slower() {
    fps = std::max(fps / 2, 1);
}

} // namespace vv
