// Finding the USB serial devices, and telling the user why a port did not open.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/linux/serial_devices.h"

namespace platform::serial_linux {

namespace fs = std::filesystem;

namespace {

// Names in natural order: ttyUSB2 before ttyUSB10.
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> entries(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

std::string canonical(const std::string& path) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved.string();
}

// Quoted for a shell when it holds anything but the usual path characters.
std::string shellWord(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._-+:,@=", c);
    });
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Why opening failed, after the path.
std::string reason(const OpenAttempt& attempt) {
    switch (attempt.error) {
        case ENOENT: {
            char target[4096];
            const ssize_t n = readlink(attempt.path.c_str(), target, sizeof target - 1);
            if (n > 0) {
                return " -> " + std::string(target, static_cast<std::size_t>(n)) +
                       " is missing (is the platform plugged in?)";
            }
            return " is missing";
        }
        case EACCES:
        case EPERM: {
            // The group that may use the device, when its mode lets a group read and write.
            std::string group = "dialout";
            struct stat st;
            if (stat(attempt.path.c_str(), &st) == 0 &&
                (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
                if (const struct group* g = getgrgid(st.st_gid)) group = g->gr_name;
            }
            return ": permission denied: join the " + group + " group (sudo adduser $USER " +
                   group + ") and log in again";
        }
        case EBUSY:
        case EWOULDBLOCK:
            return " is busy: another program holds it";
        case EIO:
        case ENXIO:
        case ENODEV:
            return ": no serial port answers there (" + std::string(std::strerror(attempt.error)) +
                   ")";
        default:
            return ": " + std::string(std::strerror(attempt.error));
    }
}

}  // namespace

std::vector<SerialDevice> findSerialDevices(const std::string& devRoot) {
    std::vector<SerialDevice> devices;
    const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
    for (const std::string& name : entries(byId, "")) {
        const std::string path = (byId / name).string();
        devices.push_back({path, canonical(path)});
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (const std::string& name : entries(devRoot, prefix)) {
            const std::string path = (fs::path(devRoot) / name).string();
            const std::string target = canonical(path);
            const bool linked =
                std::any_of(devices.begin(), devices.end(),
                            [&](const SerialDevice& d) { return d.target == target; });
            if (!linked) devices.push_back({path, target});
        }
    }
    return devices;
}

std::string describeOpenFailure(const OpenAttempt& attempt,
                                const std::vector<SerialDevice>& devices) {
    const bool numbered = attempt.byNumber;
    const std::string com = "COM" + std::to_string(attempt.portNumber);
    std::string line = numbered ? com + ": " : std::string();
    // A ./COM<n> link is named by where it is, so that the message holds for any folder.
    const bool local = attempt.path.rfind("./", 0) == 0;
    line += local ? attempt.folder + attempt.path.substr(1) : attempt.path;
    line += reason(attempt);
    if (numbered && !local) line += "; no " + com + " link in " + attempt.folder;

    if (devices.empty()) {
        return line +
               "; no USB serial device found (/dev/serial/by-id, /dev/ttyUSB*, /dev/ttyACM*)";
    }
    line += "; serial devices:";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const SerialDevice& d = devices[i];
        line += (i == 0 ? " " : ", ") + d.path;
        if (d.target != d.path) line += " (" + fs::path(d.target).filename().string() + ")";
    }
    // The command for the first device that is not the one that just failed.
    const std::string tried = canonical(attempt.path);
    for (const SerialDevice& d : devices) {
        if (d.target == tried) continue;
        if (numbered) {
            line += "; make one " + com + " with: ln -sf " + shellWord(d.path) + " " +
                    shellWord(attempt.folder + "/" + com);
        } else {
            line += "; use one with: tarvel --port " + shellWord(d.path);
        }
        break;
    }
    return line;
}

}  // namespace platform::serial_linux
