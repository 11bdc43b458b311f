// Frame sources of the simulator: scenario frames and replayed files.
#include "tools/sim/frame_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

std::optional<ReplayFile> ReplayFile::fromBytes(const std::string& bytes, std::string& error) {
    ReplayFile file;
    file.bytes_ = std::make_unique<std::string>(bytes);
    // A stream over the text itself; an empty text has no frame to give anyway.
    if (!bytes.empty()) file.file_.reset(::fmemopen(file.bytes_->data(), bytes.size(), "r"));
    if (!file.scan(error)) return std::nullopt;
    return file;
}

std::optional<ReplayFile> ReplayFile::load(const std::string& path, std::string& error) {
    // Opened without waiting, so that a pipe with no writer cannot hold the start.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open '" + path + "': " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "'" + path + "' is not a regular file (a recording is a file)";
        return std::nullopt;
    }
    ReplayFile file;
    file.file_.reset(::fdopen(fd, "rb"));
    if (!file.file_) ::close(fd);
    if (!file.scan(error)) {
        error = "'" + path + "': " + error;
        return std::nullopt;
    }
    return file;
}

bool ReplayFile::scan(std::string& error) {
    error = "no frame in the file (no '!')";
    if (!file_) return false;
    bool bang = false;
    while (readFrame()) {
        ++size_;
        bang = bang || frame_.find('!') != std::string::npos;
    }
    if (std::ferror(file_.get())) error = std::string("cannot read: ") + std::strerror(errno);
    if (!bang || std::ferror(file_.get())) return false;
    rewind();
    return true;
}

bool ReplayFile::readFrame() const {
    frame_.clear();
    // Only the first frame takes the bytes in front of its "!"; every other one
    // ends before the next "!" after its first byte.
    bool bang = next_ != 0;
    std::FILE* f = file_.get();
    for (int c; frame_.size() < kMaxFrameBytes && (c = getc_unlocked(f)) != EOF;) {
        if (c == '!') {
            if (bang && !frame_.empty()) {
                std::ungetc(c, f);
                break;
            }
            bang = true;
        }
        frame_ += static_cast<char>(c);
    }
    if (frame_.empty()) return false;
    ++next_;
    return true;
}

void ReplayFile::rewind() const {
    std::rewind(file_.get());
    next_ = 0;
    frame_.clear();
}

const std::string& ReplayFile::frame(std::size_t i) const {
    if (i + 1 < next_) rewind();
    while (next_ <= i && readFrame()) {
    }
    return frame_;
}

FrameSource::FrameSource(GeneratorOptions options, std::uint64_t settleFrames,
                         std::optional<ReplayFile> replay, bool loop)
    : generator_(std::move(options)),
      settleFrames_(settleFrames),
      replay_(std::move(replay)),
      loop_(loop) {}

bool FrameSource::bytes(std::uint64_t k, std::optional<std::uint64_t> attach,
                        std::string& out) const {
    std::optional<std::uint64_t> scenarioStart;
    if (attach) scenarioStart = *attach + settleFrames_;
    if (replay_ && scenarioStart && k >= *scenarioStart) {
        std::uint64_t i = k - *scenarioStart;
        if (i >= replay_->size() && !loop_) return false;
        out += replay_->frame(static_cast<std::size_t>(i % replay_->size()));
        return true;
    }
    const GeneratorOptions& o = generator_.options();
    formatFrame(generator_.frame(k, replay_ ? std::nullopt : scenarioStart), o.decimals, out);
    return true;
}

}  // namespace sim
