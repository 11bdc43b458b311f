// The controller stream's field splitter: each field is stored as the system's
// atof gives it, rounded to float (values beyond float become infinite).
#include "link/stream_parser.h"

#include <cstdint>
#include <memory>

#include "text/number_text.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A plain decimal number and nothing else: an optional sign, digits with an optional point
// and fraction (at least one digit), and an optional exponent.
bool isPlainNumber(const char* text, std::size_t length) {
    std::size_t at = 0;
    if (at < length && (text[at] == '-' || text[at] == '+')) ++at;
    std::size_t digits = 0;
    while (at < length && isDigit(text[at])) ++at, ++digits;
    if (at < length && text[at] == '.') {
        ++at;
        while (at < length && isDigit(text[at])) ++at, ++digits;
    }
    if (digits == 0) return false;
    if (at < length && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < length && (text[at] == '-' || text[at] == '+')) ++at;
        const std::size_t exponentStart = at;
        while (at < length && isDigit(text[at])) ++at;
        if (at == exponentStart) return false;
    }
    return at == length;
}

}  // namespace

StreamParser::StreamParser() : text_(std::make_unique<char[]>(kMaxFieldLength + 1)) {}

bool StreamParser::endField(std::uint8_t byte, Field& out) {
    // "!" starts a frame: whatever text is pending is stored as field 0.
    const bool frameStart = byte == '!';
    const bool lineEnd = byte == '\r' || byte == '\n';
    if (frameStart) index_ = 0;
    // An empty field is not counted: runs of separators act as one. For the platform's form
    // only the line end after the counter may follow another separator.
    if (length_ == 0) {
        if (!lineEnd) inForm_ = frameStart;
        return false;
    }
    const bool numeric = !overlong_ && isPlainNumber(text_.get(), length_);
    const bool wellFormed = inForm_ && numeric && index_ == 8 && lineEnd;
    if (!(inForm_ && numeric && !frameStart && (index_ < 8 ? byte == ',' : lineEnd))) {
        inForm_ = false;
    }
    if (frameStart) inForm_ = true;
    // A field longer than the buffer is dropped whole, but it still takes its
    // place in the frame so the fields after it land where they belong.
    const bool store = !overlong_;
    if (store) {
        text_[length_] = '\0';
        out.index = index_;
        out.value = text::roundToFloat(text::systemAtof(text_.get(), length_));
        out.wellFormed = wellFormed;
    }
    length_ = 0;
    overlong_ = false;
    if (index_ == 8) inForm_ = frameStart;
    index_ = (frameStart || index_ == 8) ? 0 : index_ + 1;
    return store;
}
