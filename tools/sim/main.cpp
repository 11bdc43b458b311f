// tarvel-sim: stands in for the walking platform's controller. Streams
// scenario frames at a fixed rate on a pseudo-terminal linked as ./COM<n> (or
// on standard output), with a settle period of empty-platform frames each
// time a reader attaches, simulated unplugging and bursts of line noise.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/sim/frame_source.h"
#include "tools/sim/pty_port.h"
#include "tools/sim/sim_options.h"

namespace {

volatile sig_atomic_t gStopSignal = 0;
volatile sig_atomic_t gUnplugRequested = 0;
volatile sig_atomic_t gGarbageRequested = 0;

void onStop(int sig) {
    gStopSignal = sig;
}
void onUnplug(int) {
    gUnplugRequested = 1;
}
void onGarbage(int) {
    gGarbageRequested = 1;
}

// Bytes of one burst of line noise: any byte values, frame characters included.
constexpr std::size_t kGarbageBytes = 256;

// Burst n of a run: random bytes that depend only on the seed and n.
std::string garbageBurst(std::uint64_t seed, std::uint64_t n) {
    std::mt19937_64 random(seed * 0x9E3779B97F4A7C15ull + n);
    std::string bytes(kGarbageBytes, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

bool gQuiet = false;

void info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void info(const char* format, ...) {
    if (gQuiet) return;
    std::va_list args;
    va_start(args, format);
    std::fputs("tarvel-sim: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

void installSignals() {
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a stop interrupts the sleep at once
    sa.sa_handler = onStop;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sa.sa_handler = onUnplug;
    sigaction(SIGUSR1, &sa, nullptr);
    sa.sa_handler = onGarbage;
    sigaction(SIGUSR2, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

std::int64_t nowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Frame periods are kept against absolute deadlines computed from the frame
// number, so rounding never accumulates into drift.
class Pacer {
  public:
    explicit Pacer(double rate) : rate_(rate), start_(nowNs()) {}

    std::int64_t deadline(std::uint64_t k) const {
        return start_ + static_cast<std::int64_t>(static_cast<long double>(k) * 1.0e9L / rate_);
    }
    std::uint64_t slotAt(std::int64_t t) const {
        if (t <= start_) return 0;
        return static_cast<std::uint64_t>(static_cast<long double>(t - start_) * rate_ / 1.0e9L);
    }
    std::int64_t start() const { return start_; }

    // Sleeps until the deadline; false when a stop signal arrived meanwhile.
    static bool sleepUntil(std::int64_t deadline) {
        timespec ts{static_cast<time_t>(deadline / 1000000000),
                    static_cast<long>(deadline % 1000000000)};
        for (;;) {
            int r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
            if (gStopSignal) return false;
            if (r != EINTR) return true;
        }
    }

  private:
    double rate_;
    std::int64_t start_;
};

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            if (gStopSignal) return false;
            continue;
        }
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int runStdout(const sim::SimOptions& o, const sim::FrameSource& source) {
    std::string buf;
    const bool paced = o.rateGiven;
    Pacer pacer(o.generator.rate);
    for (std::uint64_t k = 0; !gStopSignal && (o.frames == 0 || k < o.frames); ++k) {
        if (paced && !Pacer::sleepUntil(pacer.deadline(k))) break;
        if (!source.bytes(k, 0, buf)) break;
        // Unpaced output goes out in large writes; paced output frame by frame.
        if (paced || buf.size() >= 65536) {
            if (!writeAll(STDOUT_FILENO, buf)) return errno == EPIPE ? 0 : 1;
            buf.clear();
        }
    }
    if (!buf.empty() && !writeAll(STDOUT_FILENO, buf)) return errno == EPIPE ? 0 : 1;
    return 0;
}

struct Stats {
    std::uint64_t written = 0;
    std::uint64_t partial = 0;
    std::uint64_t dropped = 0;
    std::uint64_t skipped = 0;
};

int runPty(const sim::SimOptions& o, const sim::FrameSource& source) {
    sim::PtyPort port(o.linkPath());
    std::string error;
    if (!port.open(error)) {
        std::fprintf(stderr, "tarvel-sim: %s\n", error.c_str());
        return 1;
    }
    if (!port.replacedLinkNote().empty()) info("%s", port.replacedLinkNote().c_str());
    info("scenario %s at %g Hz on %s -> %s", sim::scenarioName(o.generator.scenario),
         o.generator.rate, port.linkPath().c_str(), port.devicePath().c_str());

    const sim::FrameGenerator& gen = source.generator();
    Pacer pacer(o.generator.rate);
    // A late wake-up of more than this is not caught up frame by frame: the
    // periods in between count as lost (the counter jumps).
    const std::int64_t lateLimit =
        std::max<std::int64_t>(100000000, 3 * (pacer.deadline(1) - pacer.deadline(0)));
    // Times of the pending unplug and replug; kNever when none is pending.
    constexpr std::int64_t kNever = INT64_MAX;
    std::int64_t unplugAt = kNever;
    if (o.unplugAfterSeconds) {
        unplugAt = pacer.start() + static_cast<std::int64_t>(*o.unplugAfterSeconds * 1.0e9);
    }
    std::int64_t replugAt = kNever;
    std::optional<std::uint64_t> attach;  // frame at which the current reader attached
    bool sourceEnded = false;
    std::uint64_t bursts = 0;
    Stats stats;
    std::string buf;
    int status = 0;

    std::uint64_t k = 0;
    for (; !gStopSignal && (o.frames == 0 || k < o.frames); ++k) {
        const std::int64_t deadline = pacer.deadline(k);
        if (!Pacer::sleepUntil(deadline)) break;
        const std::int64_t now = nowNs();
        if (now - deadline > lateLimit) {
            const std::uint64_t slot = pacer.slotAt(now);
            stats.skipped += slot - k;
            k = slot;
            if (o.frames != 0 && k >= o.frames) break;
        }

        bool unplug = gUnplugRequested != 0;
        gUnplugRequested = 0;
        if (now >= unplugAt) {
            unplug = true;
            unplugAt = kNever;
        }
        if (unplug && port.isOpen()) {
            port.close();
            attach.reset();
            replugAt = now + static_cast<std::int64_t>(o.unplugForMs) * 1000000;
            info("unplugged at frame %" PRIu64 " for %d ms", k, o.unplugForMs);
        }
        if (!port.isOpen() && now >= replugAt) {
            if (!port.open(error)) {
                std::fprintf(stderr, "tarvel-sim: cannot plug in again: %s\n", error.c_str());
                status = 1;
                break;
            }
            replugAt = kNever;
            sourceEnded = false;
            info("plugged in again: %s -> %s", port.linkPath().c_str(), port.devicePath().c_str());
        }
        if (!port.isOpen()) continue;

        port.drainInput();
        const bool attached = port.readerAttached();
        if (attached && !attach) {
            attach = k;
            info("reader attached at frame %" PRIu64 " (counter %" PRIu64 "); %" PRIu64
                 " settle frames, then %s",
                 k, gen.counter(k), source.settleFrames(), sim::scenarioName(o.generator.scenario));
        } else if (!attached && attach) {
            attach.reset();
            if (sourceEnded) {
                info("reader detached after the end of the replay");
                break;
            }
            // A fresh pty for the next reader: the old one may hold unread
            // frames and the exclusive-use flag of the reader that left.
            if (!port.open(error)) {
                std::fprintf(stderr, "tarvel-sim: cannot reopen the pty: %s\n", error.c_str());
                status = 1;
                break;
            }
            info("reader detached at frame %" PRIu64 "; fresh pty %s", k,
                 port.devicePath().c_str());
            continue;
        }
        if (!attach || sourceEnded) continue;

        buf.clear();
        // Noise on the line goes out in front of this period's frame.
        if (gGarbageRequested) {
            gGarbageRequested = 0;
            buf = garbageBurst(o.generator.seed, bursts++);
            info("burst of %zu garbage bytes at frame %" PRIu64, buf.size(), k);
        }
        if (!source.bytes(k, attach, buf)) {
            // The recording is over: keep the line open and quiet until the
            // reader lets go of it.
            sourceEnded = true;
            info("end of the replay file at frame %" PRIu64 "; waiting for the reader to close", k);
            continue;
        }
        switch (port.write(buf)) {
            case sim::PtyPort::WriteResult::Complete:
                ++stats.written;
                break;
            case sim::PtyPort::WriteResult::Partial:
                ++stats.partial;
                break;
            case sim::PtyPort::WriteResult::Dropped:
                ++stats.dropped;
                break;
            case sim::PtyPort::WriteResult::Failed:
                // The reader vanished between the check and the write; the
                // next period notices it.
                ++stats.dropped;
                break;
        }
    }
    if (gStopSignal) info("stopped by signal %d", static_cast<int>(gStopSignal));
    info("%" PRIu64 " frame periods: %" PRIu64 " frames sent, %" PRIu64 " cut short, %" PRIu64
         " dropped (line full), %" PRIu64 " skipped (late)",
         k, stats.written, stats.partial, stats.dropped, stats.skipped);
    port.close();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    sim::ParseResult parsed = sim::parseOptions(args);
    if (parsed.status == sim::ParseResult::Status::Help) {
        std::fputs(sim::usageText().c_str(), stdout);
        return 0;
    }
    if (parsed.status == sim::ParseResult::Status::Version) {
        std::printf("tarvel-sim %s\n", TARVEL_VERSION);
        return 0;
    }
    if (parsed.status == sim::ParseResult::Status::Error) {
        std::fprintf(stderr, "tarvel-sim: %s\nTry 'tarvel-sim --help'.\n", parsed.error.c_str());
        return 2;
    }
    const sim::SimOptions& o = parsed.options;
    gQuiet = o.quiet;

    std::optional<sim::ReplayFile> replay;
    if (o.generator.scenario == sim::Scenario::Replay) {
        std::string error;
        replay = sim::ReplayFile::load(o.replayFile, error);
        if (!replay) {
            std::fprintf(stderr, "tarvel-sim: %s\n", error.c_str());
            return 1;
        }
    }
    sim::FrameSource source(o.generator, o.settleFrames(), std::move(replay), o.loop);

    installSignals();
    return o.toStdout ? runStdout(o, source) : runPty(o, source);
}
