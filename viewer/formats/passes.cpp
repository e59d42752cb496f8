#include "viewer/formats/passes.h"

namespace vv {

bool SourceReader::measure() {
    return window_.source.size(size, source_error_) || fail_whole(source_error_);
}

bool SourceReader::rewind() {
    if (!window_.seek(body_, source_error_))
        return fail_whole(source_error_);
    lines_.number = body_line_;
    return true;
}

bool SourceReader::next_line(std::string_view &s, bool &end) {
    end = false;
    switch (lines_.next(s, source_error_)) {
    case io::Lines::Got::Line:
        return true;
    case io::Lines::Got::End:
        end = true;
        return false;
    case io::Lines::Got::TooLong:
        return fail_line("longer than " + std::to_string(lines_.max_line()) + " characters");
    case io::Lines::Got::Failed:
        break;
    }
    return fail_whole(source_error_);
}

} // namespace vv
