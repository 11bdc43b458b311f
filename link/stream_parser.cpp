// The controller stream's field splitter and the classic-locale decimal
// conversion it stores each field with (values beyond float become infinite).
#include "link/stream_parser.h"

#include <cstring>
#include <memory>
#include <string_view>

#include "settings/number_text.h"

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
        out.value = settings::roundToFloat(parseDecimal(text_.get(), length_));
    }
    length_ = 0;
    overlong_ = false;
    index_ = (frameStart || index_ == 8) ? 0 : index_ + 1;
    return store;
}

double parseDecimal(const char* text, std::size_t length) {
    // atof reads up to the first NUL; the settings file's conversion is the
    // same classic-locale atof, so the stream uses it too.
    return settings::textToDouble(std::string_view(text, strnlen(text, length)));
}
