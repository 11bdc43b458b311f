// The bytes the simulator sends for each frame period: generated scenario
// frames, or the frames of a recorded stream file, behind one interface.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "tools/sim/frame_generator.h"

namespace sim {

// A recorded stream split into frames: each frame runs from one "!" up to the
// next. Bytes in front of the first "!" travel with the first frame, so the
// frames put together give back the file unchanged. The file is read as the
// frames are asked for, one frame held at a time, and a frame longer than
// kMaxFrameBytes goes out in pieces of that size: any file replays in bounded
// memory.
class ReplayFile {
  public:
    static constexpr std::size_t kMaxFrameBytes = 65536;

    // Splits `bytes`; nullopt with `error` set when there is no "!" in it.
    static std::optional<ReplayFile> fromBytes(const std::string& bytes, std::string& error);
    // Only a regular file: a folder, a device (/dev/zero) or a pipe is refused
    // with `error` set, as is a file that cannot be read or holds no "!".
    static std::optional<ReplayFile> load(const std::string& path, std::string& error);

    std::size_t size() const { return size_; }
    // Frame i (< size()). Frames are read in order: asking for an earlier one
    // reads the file again from its start.
    const std::string& frame(std::size_t i) const;

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // Counts the frames; false when the file holds no "!" or cannot be read.
    bool scan(std::string& error);
    // Reads the frame after the last one read into frame_; false at the end.
    bool readFrame() const;
    void rewind() const;

    std::unique_ptr<std::string> bytes_;  // the text that fromBytes reads from
    std::unique_ptr<std::FILE, Closer> file_;
    std::size_t size_ = 0;
    // The reading position: frame_ holds frame next_ - 1.
    mutable std::string frame_;
    mutable std::size_t next_ = 0;
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
