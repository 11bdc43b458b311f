// Frame sources of the simulator: scenario frames and replayed files.
#include "tools/sim/frame_source.h"

#include <fstream>
#include <iterator>

namespace sim {

std::optional<ReplayFile> ReplayFile::fromBytes(const std::string& bytes, std::string& error) {
    ReplayFile file;
    std::size_t start = bytes.find('!');
    if (start == std::string::npos) {
        error = "no frame in the file (no '!')";
        return std::nullopt;
    }
    // The preamble (if any) goes out together with the first frame.
    std::size_t begin = 0;
    while (start != std::string::npos) {
        std::size_t next = bytes.find('!', start + 1);
        std::size_t end = next == std::string::npos ? bytes.size() : next;
        file.frames_.push_back(bytes.substr(begin, end - begin));
        begin = end;
        start = next;
    }
    return file;
}

std::optional<ReplayFile> ReplayFile::load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open '" + path + "'";
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read '" + path + "'";
        return std::nullopt;
    }
    auto file = fromBytes(bytes, error);
    if (!file) error = "'" + path + "': " + error;
    return file;
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
