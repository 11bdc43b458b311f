// The controller stream's field splitter: each field is stored as the system's
// atof gives it, rounded to float (values beyond float become infinite).
#include "link/stream_parser.h"

#include <cstdint>
#include <memory>

#include "text/number_text.h"

StreamParser::StreamParser() : text_(std::make_unique<char[]>(kMaxFieldLength + 1)) {}

bool StreamParser::endField(std::uint8_t byte, Field& out) {
    // "!" starts a frame: whatever text is pending is stored as field 0.
    const bool frameStart = byte == '!';
    if (frameStart) index_ = 0;
    // An empty field is not counted: runs of separators act as one.
    if (length_ == 0) return false;
    // A field longer than the buffer is dropped whole, but it still takes its
    // place in the frame so the fields after it land where they belong.
    const bool store = !overlong_;
    if (store) {
        text_[length_] = '\0';
        out.index = index_;
        out.value = text::roundToFloat(text::systemAtof(text_.get(), length_));
    }
    length_ = 0;
    overlong_ = false;
    index_ = (frameStart || index_ == 8) ? 0 : index_ + 1;
    return store;
}
