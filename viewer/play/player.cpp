#include "viewer/play/player.h"

#include <algorithm>
#include <cstdio>

namespace vv {

bool Player::open(const std::vector<std::string> &inputs, bool range_per_frame, std::string &error,
                  const std::function<void(std::size_t, std::size_t)> &progress) {
    return open_first(inputs, range_per_frame, error) && finish_pass(progress, error);
}

bool Player::open_first(const std::vector<std::string> &inputs, bool range_per_frame,
                        std::string &error) {
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
    seen_.assign(n, false);
    // The block for the largest frame the index declares. A row takes at
    // least 4 bytes (two coordinates and their separators), so a count its
    // frame's bytes cannot hold, which reading that frame refuses anyway,
    // allocates nothing. A sequence's offsets count frame parts, not bytes:
    // each part's count was held to its own file's bytes when that file was
    // indexed.
    std::size_t largest = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint64_t end = k + 1 < n ? trajectory_.frames[k + 1].offset : trajectory_.end;
        const std::uint64_t bytes =
            trajectory_.sequence ? UINT64_MAX : end - trajectory_.frames[k].offset;
        largest = static_cast<std::size_t>(
            std::max<std::uint64_t>(largest, std::min(trajectory_.frames[k].atoms, bytes / 4)));
    }
    if (!allocate(nodes_, largest)) {
        error = path + ": not enough memory for " + std::to_string(largest) + " atoms";
        return false;
    }
    nodes_.count = largest;
    link_lists(nodes_);
    linked_ = largest;
    list_count_ = static_cast<unsigned int>(nodes_.lists.size());
    if (!read_frame(trajectory_, 0, frame_, error))
        return false;
    // The index's union of boxes is the whole run's fit; without it, the
    // first frame's until the pass has read every frame.
    fit_final_ = trajectory_.boxes_known;
    if (fit_final_)
        fit_.add(trajectory_.boxes_lo, trajectory_.boxes_hi);
    else
        fit_.add(frame_);
    fit_.finish();
    fits_ = 1;
    colouring_ = !frame_.element_names.empty() ? "element" : "type";
    show(0);
    return true;
}

void Player::start_pass(unsigned threads) {
    if (!pass_ && !known_)
        pass_ = std::make_unique<RunPass>(trajectory_, threads);
}

bool Player::finish_pass(const std::function<void(std::size_t, std::size_t)> &progress,
                         std::string &error) {
    start_pass();
    if (!pass_) { // known already
        if (progress)
            progress(frames(), frames());
        return true;
    }
    RunFacts facts;
    const bool ok = pass_->wait(progress, facts, error);
    pass_.reset();
    if (ok)
        take_in(std::move(facts));
    return ok;
}

bool Player::poll_pass(std::string &error) {
    if (!pass_ || !pass_->ended())
        return false;
    RunFacts facts;
    const bool ok = pass_->result(facts, error);
    pass_.reset();
    if (ok)
        take_in(std::move(facts));
    return true;
}

void Player::take_in(RunFacts facts) {
    facts_ = std::move(facts);
    known_ = true;
    seen_.clear();
    if (!fit_final_) {
        fit_final_ = true;
        const Bounds &a = facts_.fit.bounds, &b = fit_.bounds;
        const bool same = a.empty == b.empty && std::equal(a.lo, a.lo + 3, b.lo) &&
                          std::equal(a.hi, a.hi + 3, b.hi);
        if (!same) {
            pending_fit_ = facts_.fit;
            pending_fit_.finish();
            pending_ = true;
        }
    }
    // The ranges change at once; the fit not while playing.
    if (!settle())
        paint_colours();
}

bool Player::needs_whole_run() const {
    if (known_)
        return false;
    const bool column = colouring_ != "element" && colouring_ != "type";
    return !fit_final_ || (column && !range_per_frame_);
}

bool Player::settle() {
    if (!pending_ || playing)
        return false;
    show(shown_);
    return true;
}

bool Player::open_live(std::size_t capacity, std::string &error) {
    fit_.add(frame_.box);
    fit_.finish();
    fits_ = 1;
    range_per_frame_ = true;
    known_ = true;
    facts_.types = true;
    for (const Field &f : frame_.fields)
        facts_.columns.emplace_back(f.name, Range());
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
    if (pending_ && !playing) {
        fit_ = pending_fit_;
        pending_ = false;
        ++fits_;
    }
    if (!known_ && k < seen_.size() && !seen_[k]) {
        seen_[k] = true;
        facts_.add(frame_);
        // Every frame shown (a batch over all of them): the whole run.
        if (facts_.frames == seen_.size())
            take_in(std::move(facts_));
    }
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
    for (const auto &c : facts_.columns)
        if (c.first == colouring_)
            whole = c.second;
    range_ = paint_quantity(q, colouring_, range_per_frame_ ? nullptr : &whole, nodes_.nodes.get(),
                            linked_);
}

std::vector<std::string> Player::colourings() const {
    std::vector<std::string> names;
    if (facts_.elements)
        names.push_back("element");
    // A dump with neither column still gets one colouring: all as type 1.
    if (facts_.types || !facts_.elements)
        names.push_back("type");
    for (const auto &c : facts_.columns)
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
                          static_cast<double>(range_.hi),
                          range_per_frame_ ? " (this frame)"
                          : known_         ? ""
                                           : " (range of frames read so far)");
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
