// openvrpaths.vrpath read and written with nlohmann's JSON (keys kept in their order), through
// the whole-file replace of the platform seam.
#include "steamvr/registration.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "platform/file_names.h"
#include "platform/file_replace.h"
#include "platform/steamvr_paths.h"

namespace steamvr {

namespace {

using Json = nlohmann::ordered_json;
constexpr const char* kKey = "external_drivers";

bool readFile(const std::string& path, std::string& text) {
    std::FILE* f = platform::openFile(path, "rb");
    if (f == nullptr) return false;
    char buffer[8192];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// The file as a JSON object, or discarded.
Json load(const std::string& pathsFile, bool& exists) {
    std::string text;
    exists = readFile(pathsFile, text);
    if (!exists) return Json(Json::value_t::discarded);
    Json doc = Json::parse(text, nullptr, false);
    if (!doc.is_object() || (doc.contains(kKey) && !doc[kKey].is_null() && !doc[kKey].is_array())) {
        return Json(Json::value_t::discarded);
    }
    return doc;
}

// One folder named two ways ("a/b/" and "a/b", "C:\x" and "c:/X" on Windows) is one folder.
bool sameFolder(const Json& entry, const std::string& folder) {
    if (!entry.is_string()) return false;
    const auto normal = [](const std::string& text) {
        std::filesystem::path p = platform::fileSystemPath(text).lexically_normal();
        if (!p.has_filename()) p = p.parent_path();
        return p;
    };
    std::error_code error;
    const auto a = normal(entry.get<std::string>());
    const auto b = normal(folder);
    return a == b || std::filesystem::equivalent(a, b, error);
}

bool listed(const Json& doc, const std::string& folder) {
    if (!doc.contains(kKey) || !doc[kKey].is_array()) return false;
    for (const Json& entry : doc[kKey]) {
        if (sameFolder(entry, folder)) return true;
    }
    return false;
}

}  // namespace

Registration registrationOf(const std::string& pathsFile, const std::string& driverFolder) {
    bool exists = false;
    const Json doc = load(pathsFile, exists);
    if (!exists) return Registration::NoSteamVr;
    if (doc.is_discarded()) return Registration::Unreadable;
    return listed(doc, driverFolder) ? Registration::Registered : Registration::NotRegistered;
}

Registration setRegistration(const std::string& pathsFile, const std::string& driverFolder, bool on,
                             std::string* failure) {
    bool exists = false;
    Json doc = load(pathsFile, exists);
    if (!exists) return Registration::NoSteamVr;
    if (doc.is_discarded()) return Registration::Unreadable;
    const Registration before =
        listed(doc, driverFolder) ? Registration::Registered : Registration::NotRegistered;
    const Registration wanted = on ? Registration::Registered : Registration::NotRegistered;
    if (before == wanted) return before;
    if (on) {
        if (!doc[kKey].is_array()) doc[kKey] = Json::array();
        doc[kKey].push_back(driverFolder);
    } else {
        Json kept = Json::array();
        for (const Json& entry : doc[kKey]) {
            if (!sameFolder(entry, driverFolder)) kept.push_back(entry);
        }
        // SteamVR itself writes null for an empty list.
        doc[kKey] = kept.empty() ? Json() : kept;
    }
    const std::string text = doc.dump(1, '\t', false, Json::error_handler_t::replace) + "\n";
    if (!platform::replaceFileContents(pathsFile, text, failure)) return before;
    return wanted;
}

std::string installedDriverFolder() {
    const std::string exe = platform::executableFolder();
    if (exe.empty()) return {};
    for (const char* relative :
         {"/../lib/tarvel/steamvr/tarvel", "/steamvr/tarvel", "/../steamvr/tarvel"}) {
        const std::filesystem::path folder =
            platform::fileSystemPath(exe + relative).lexically_normal();
        std::error_code error;
        if (std::filesystem::is_regular_file(folder / "driver.vrdrivermanifest", error)) {
            std::filesystem::path clean = folder;
            if (!clean.has_filename()) clean = clean.parent_path();
            const std::u8string text = clean.make_preferred().u8string();
            return std::string(text.begin(), text.end());
        }
    }
    return {};
}

bool runRegistrationCommand(const std::string& verb, std::string& message) {
    const bool change = verb == "register" || verb == "unregister";
    if (!change && verb != "status") {
        message = "unknown --steamvr action \"" + verb + "\" (register, unregister or status)";
        return false;
    }
    const std::string folder = installedDriverFolder();
    const std::string file = platform::openVrPathsFile();
    if (folder.empty()) {
        message = "the SteamVR driver is not installed with this program";
        return false;
    }
    std::string failure;
    const Registration state = change ? setRegistration(file, folder, verb == "register", &failure)
                                      : registrationOf(file, folder);
    switch (state) {
        case Registration::NoSteamVr:
            message = "SteamVR is not installed for this user (no " + file + "): nothing changed";
            return !change;
        case Registration::Unreadable:
            message = file + " is not a list of SteamVR's paths: nothing changed";
            return false;
        case Registration::Registered:
        case Registration::NotRegistered:
            break;
    }
    const bool registered = state == Registration::Registered;
    if (!failure.empty()) {
        message = "could not write " + file + ": " + failure;
        return false;
    }
    message = (registered ? "SteamVR: registered " : "SteamVR: not registered ") + folder;
    return true;
}

}  // namespace steamvr
