// The bytes the simulator sends for each frame period: generated scenario
// frames, or the frames of a recorded stream file, behind one interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/frame_generator.h"

namespace sim {

// A recorded stream split into frames: each frame runs from one "!" up to the
// next. Bytes in front of the first "!" travel with the first frame, so the
// frames put together give back the file unchanged.
class ReplayFile {
  public:
    // Splits `bytes`; nullopt with `error` set when there is no "!" in it.
    static std::optional<ReplayFile> fromBytes(const std::string& bytes, std::string& error);
    static std::optional<ReplayFile> load(const std::string& path, std::string& error);

    std::size_t size() const { return frames_.size(); }
    const std::string& frame(std::size_t i) const { return frames_[i]; }

  private:
    std::vector<std::string> frames_;
};

class FrameSource {
  public:
    // `settleFrames` empty-platform frames go out before the scenario (or the
    // replay) each time a reader attaches. With `replay` set the scenario is
    // the file; `loop` repeats it, otherwise the source ends after its last
    // frame.
    FrameSource(GeneratorOptions options, std::uint64_t settleFrames,
                std::optional<ReplayFile> replay = std::nullopt, bool loop = false);

    // Appends the bytes of frame k to `out`, for a reader that attached at
    // frame `attach` (nullopt: no reader; empty-platform frames). Returns
    // false, appending nothing, once a replay without loop has ended.
    bool bytes(std::uint64_t k, std::optional<std::uint64_t> attach, std::string& out) const;

    const FrameGenerator& generator() const { return generator_; }
    std::uint64_t settleFrames() const { return settleFrames_; }

  private:
    FrameGenerator generator_;
    std::uint64_t settleFrames_;
    std::optional<ReplayFile> replay_;
    bool loop_;
};

}  // namespace sim
