// The block through which the program hands the walk to the OpenXR layer inside games: its
// layout, its names, and how a copy of it is judged. The layer shares this header and the
// block's backend (platform/xr_walk_block.h) with the program and nothing else.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace xrwalk {

// The file in $XDG_RUNTIME_DIR (Linux), or in "/tmp/tarvel-xr-<uid>" (0700) when that is unset;
// the named file mapping in the session's own namespace (Windows).
inline constexpr const char* kFileName = "tarvel-xr-walk";
inline constexpr const char* kFallbackFolderPrefix = "/tmp/tarvel-xr-";
inline constexpr const wchar_t* kMappingName = L"Local\\tarvel-xr-walk";
// Windows: held by the one program that writes the block (the user's writer lock).
inline constexpr const wchar_t* kWriterMutexName = L"Local\\tarvel-xr-walk-writer";
// The size both sides give the file or mapping; the block lies at its start.
inline constexpr std::uint32_t kBytes = 4096;

inline constexpr std::uint32_t kMagic = 0x31525854;  // "TXR1"
inline constexpr std::uint32_t kVersion = 1;
// Axes published longer ago than this count as none: the program was killed or hangs.
inline constexpr std::int64_t kStaleNs = 250'000'000;

// The block's fields, little-endian, as one plain copy (what a reader takes in one read).
struct Fields {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    // Odd while the program changes the fields below.
    std::uint32_t sequence = 0;
    // The sensor frame count the axes were worked out from (for measurements).
    std::uint32_t frame = 0;
    // When the program last published, on the monotonic clock both sides read (CLOCK_MONOTONIC
    // on Linux, QueryPerformanceCounter on Windows) in nanoseconds; 0 once it has ended.
    std::int64_t publishedNs = 0;
    std::uint32_t vertical = 0;  // the float axes as their bits
    std::uint32_t horizontal = 0;
    std::uint32_t lookHorizontal = 0;
    // checkOf() of the fields above with the sequence the write ends with: a copy taken in the
    // middle of a write (a single read on Linux cannot check the sequence twice) fails it.
    std::uint32_t check = 0;
};
inline constexpr std::size_t kSequenceOffset = offsetof(Fields, sequence);
inline constexpr std::size_t kFrameOffset = offsetof(Fields, frame);

// The same block where it is shared as memory (the Windows mapping, an older layer's mapping on
// Linux): every field a lock-free atomic of the same size and place.
struct Block {
    std::atomic<std::uint32_t> magic;
    std::atomic<std::uint32_t> version;
    std::atomic<std::uint32_t> sequence;
    std::atomic<std::uint32_t> frame;
    std::atomic<std::int64_t> publishedNs;
    std::atomic<std::uint32_t> vertical;
    std::atomic<std::uint32_t> horizontal;
    std::atomic<std::uint32_t> lookHorizontal;
    std::atomic<std::uint32_t> check;
};
static_assert(sizeof(Block) == sizeof(Fields) && sizeof(Block) <= kBytes);
static_assert(offsetof(Block, check) == offsetof(Fields, check));
static_assert(std::atomic<std::uint32_t>::is_always_lock_free &&
              std::atomic<std::int64_t>::is_always_lock_free);

struct Axes {
    float vertical = 0.0f;
    float horizontal = 0.0f;
    float lookHorizontal = 0.0f;
    bool operator==(const Axes&) const = default;
};

// FNV-1a over the fields from `sequence` to `lookHorizontal`.
inline std::uint32_t checkOf(const Fields& f) {
    std::uint32_t h = 2166136261u;
    const auto mix = [&h](std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            h = (h ^ static_cast<std::uint8_t>(v >> (8 * i))) * 16777619u;
    };
    mix(f.sequence, 4);
    mix(f.frame, 4);
    mix(static_cast<std::uint64_t>(f.publishedNs), 8);
    mix(f.vertical, 4);
    mix(f.horizontal, 4);
    mix(f.lookHorizontal, 4);
    return h;
}

// The fields of one publication, with `sequence` the even count the write ends with.
inline Fields fieldsOf(const Axes& axes, std::uint32_t frame, std::int64_t nowNs,
                       std::uint32_t sequence) {
    Fields f{kMagic,
             kVersion,
             sequence,
             frame,
             nowNs,
             std::bit_cast<std::uint32_t>(axes.vertical),
             std::bit_cast<std::uint32_t>(axes.horizontal),
             std::bit_cast<std::uint32_t>(axes.lookHorizontal),
             0};
    f.check = checkOf(f);
    return f;
}

// Memory side of the writer (Windows): one publication into the mapped block.
inline void publish(Block& b, const Fields& f) {
    b.version.store(kVersion, std::memory_order_relaxed);
    b.magic.store(kMagic, std::memory_order_relaxed);
    b.sequence.store(f.sequence - 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    b.frame.store(f.frame, std::memory_order_relaxed);
    b.publishedNs.store(f.publishedNs, std::memory_order_relaxed);
    b.vertical.store(f.vertical, std::memory_order_relaxed);
    b.horizontal.store(f.horizontal, std::memory_order_relaxed);
    b.lookHorizontal.store(f.lookHorizontal, std::memory_order_relaxed);
    b.check.store(f.check, std::memory_order_relaxed);
    b.sequence.store(f.sequence, std::memory_order_release);
}

// Memory side of the reader: a copy of the mapped block taken between two equal, even sequence
// loads; false when a write was in progress on every try.
inline bool copyOf(const Block& b, Fields& out) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::uint32_t s = b.sequence.load(std::memory_order_acquire);
        if (s % 2 != 0) continue;
        out.magic = b.magic.load(std::memory_order_relaxed);
        out.version = b.version.load(std::memory_order_relaxed);
        out.sequence = s;
        out.frame = b.frame.load(std::memory_order_relaxed);
        out.publishedNs = b.publishedNs.load(std::memory_order_relaxed);
        out.vertical = b.vertical.load(std::memory_order_relaxed);
        out.horizontal = b.horizontal.load(std::memory_order_relaxed);
        out.lookHorizontal = b.lookHorizontal.load(std::memory_order_relaxed);
        out.check = b.check.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (b.sequence.load(std::memory_order_relaxed) == s) return true;
    }
    return false;
}

struct Reading {
    Axes axes;
    std::uint32_t frame = 0;
    bool fresh = false;  // a consistent copy, published within kStaleNs of `nowNs`
};

// Whether `published` lies within kStaleNs of `nowNs` either way (no signed overflow for any
// two values).
inline bool withinStaleLimit(std::int64_t published, std::int64_t nowNs) {
    const auto a = static_cast<std::uint64_t>(published), b = static_cast<std::uint64_t>(nowNs);
    const std::uint64_t distance = published <= nowNs ? b - a : a - b;
    return distance <= static_cast<std::uint64_t>(kStaleNs);
}

// The reader's judgement of copies, one after another: a consistent copy that is fresh and in
// range gives its walk; one taken during a write gives the last good reading again while that
// is still fresh; anything else (never set up, ended, stale, torn beyond the limit, values that
// are not finite or outside [-1, 1]) gives no walk. No call, lock or allocation.
class Judge {
  public:
    // `copy` null: no copy could be had (a write in progress on every try, or a failed read
    // that is not the block's absence).
    Reading next(const Fields* copy, std::int64_t nowNs) {
        if (copy != nullptr && copy->sequence % 2 == 0 && copy->check == checkOf(*copy)) {
            last_ = judged(*copy, nowNs);
            lastNs_ = copy->publishedNs;
            return last_;
        }
        const bool magicOk =
            copy == nullptr || (copy->magic == kMagic && copy->version == kVersion);
        if (magicOk && last_.fresh && withinStaleLimit(lastNs_, nowNs)) return last_;
        return {};
    }
    void forget() { *this = {}; }

  private:
    static Reading judged(const Fields& f, std::int64_t nowNs) {
        Reading r;
        if (f.magic != kMagic || f.version != kVersion || f.publishedNs == 0 ||
            !withinStaleLimit(f.publishedNs, nowNs)) {
            return r;
        }
        r.axes = {std::bit_cast<float>(f.vertical), std::bit_cast<float>(f.horizontal),
                  std::bit_cast<float>(f.lookHorizontal)};
        const auto valid = [](float v) { return v >= -1.0f && v <= 1.0f; };  // NaN fails
        if (!valid(r.axes.vertical) || !valid(r.axes.horizontal) || !valid(r.axes.lookHorizontal)) {
            return {};
        }
        r.frame = f.frame;
        r.fresh = true;
        return r;
    }

    Reading last_;
    std::int64_t lastNs_ = 0;
};

}  // namespace xrwalk
