#!/usr/bin/env bash
# Builds Khronos's OpenXR loader for Windows (openxr_loader.dll) from Debian's source packages
# for the Wine tests, once per machine: openxr-sdk-source over jsoncpp built static, both with
# the mingw-w64 cross compilers. Prints the folder that holds the DLL; a later run finds it
# there at once. Test build only: TARVEL_TEST_MEDIUM_INTEGRITY=1 makes it treat its process as
# a normal (medium integrity) one, which Wine's processes never are, so that it reads the
# user's own registrations (HKCU) and XR_RUNTIME_JSON as in a game that is not elevated.
# Usage: build-openxr-loader.sh [CACHE_ROOT] (default /var/cache/tarvel). Needs what
# scripts/install-deps.sh --windows installs, and root or sudo for the deb-src entry.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
openxr_version=1.0.20~dfsg1-1
jsoncpp_version=1.9.5-4
# Raised whenever what this script changes in the sources does.
revision=1
cache_root=${1:-/var/cache/tarvel}
cache=$cache_root/openxr-loader-${openxr_version}-jsoncpp-${jsoncpp_version}-mingw64-r$revision
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

"${sudo_cmd[@]}" mkdir -p "$cache_root"
"${sudo_cmd[@]}" chmod a+rwx "$cache_root" 2>/dev/null || true
exec 8>"$cache.lock"
flock 8
if [[ -f $cache/bin/openxr_loader.dll ]]; then
  echo "$cache/bin"
  exit 0
fi

started=$SECONDS
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
log=$work/build.log
# Everything goes to the log; the log is shown when a step fails.
run() { "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "FAIL: $*" >&2; exit 1; }; }

# Debian's sources, from the archive that apt already installs from.
if ! apt-cache showsrc openxr-sdk-source 2>/dev/null | grep -q "^Version: $openxr_version\$"; then
  list=/etc/apt/sources.list.d/tarvel-deb-src.sources
  uris=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
  printf '%s\n' "Types: deb-src" "URIs: ${uris:-http://deb.debian.org/debian}" \
    "Suites: $(. /etc/os-release && echo "$VERSION_CODENAME")" "Components: main" \
    "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
    "${sudo_cmd[@]}" tee "$list" >/dev/null
  run "${sudo_cmd[@]}" apt-get update -qq
fi
run apt-get source -qq "openxr-sdk-source=$openxr_version" "libjsoncpp=$jsoncpp_version"
openxr=$(ls -d openxr-sdk-source-*/)
jsoncpp=$(ls -d libjsoncpp-*/)

toolchain=$here/../../cmake/mingw-w64-x86_64.cmake
static="-static -static-libgcc -static-libstdc++"
run cmake -S "$jsoncpp" -B jsoncpp-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$work/jsoncpp" -DBUILD_SHARED_LIBS=OFF \
  -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF \
  -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF
run cmake --build jsoncpp-build -j2
run cmake --install jsoncpp-build

# What GNU ld and the mingw tools need: the debugger file only where MSVC makes one, the
# DLL's name without mingw's "lib", and the .def file's LIBRARY statement with the name.
loader=$openxr/src/loader
sed -i 's/^if(WIN32 AND DYNAMIC_LOADER)$/if(MSVC AND DYNAMIC_LOADER)/' "$loader/CMakeLists.txt"
echo 'set_target_properties(openxr_loader PROPERTIES PREFIX "")' >>"$loader/CMakeLists.txt"
sed -i 's/^LIBRARY *$/LIBRARY openxr_loader/' "$loader/openxr-loader.def"
# jsoncpp 1.9.5's own package file (its static library is one that the bundled find module
# predates).
sed -i 's/^find_package(JsonCpp)$/find_package(jsoncpp CONFIG REQUIRED)\nset(JSONCPP_FOUND TRUE)/' \
  "$openxr/src/CMakeLists.txt"
# The tests' switch to a normal integrity level.
sed -i 's/^\(    static bool isHighIntegrityLevel = (\[\] {\)$/\1\
        if (GetEnvironmentVariableA("TARVEL_TEST_MEDIUM_INTEGRITY", nullptr, 0) != 0) return false;/' \
  "$openxr/src/common/platform_utils.hpp"
grep -q 'if(MSVC AND DYNAMIC_LOADER)' "$loader/CMakeLists.txt" &&
  grep -q '^LIBRARY openxr_loader' "$loader/openxr-loader.def" &&
  grep -q TARVEL_TEST_MEDIUM_INTEGRITY "$openxr/src/common/platform_utils.hpp" &&
  grep -q '^set(JSONCPP_FOUND TRUE)' "$openxr/src/CMakeLists.txt" ||
  { echo "FAIL: the loader's sources are not as this script expects" >&2; exit 1; }

run cmake -S "$openxr" -B openxr-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DDYNAMIC_LOADER=ON -DBUILD_API_LAYERS=OFF -DBUILD_TESTS=OFF \
  -DBUILD_CONFORMANCE_TESTS=OFF -DBUILD_WITH_SYSTEM_JSONCPP=ON \
  -Djsoncpp_DIR="$work/jsoncpp/lib/cmake/jsoncpp" -DCMAKE_FIND_ROOT_PATH="/usr/x86_64-w64-mingw32;$work/jsoncpp" \
  -DCMAKE_SHARED_LINKER_FLAGS="$static"
run cmake --build openxr-build --target openxr_loader -j2
dll=$(find openxr-build -name openxr_loader.dll | head -1)
[[ -n $dll ]] || { echo "FAIL: no openxr_loader.dll was built" >&2; exit 1; }

# Into the cache whole or not at all.
rm -rf "$cache.partial"
mkdir -p "$cache.partial/bin"
cp "$dll" "$cache.partial/bin/"
cp "$openxr/LICENSE" "$cache.partial/"
mv "$cache.partial" "$cache"
echo "built the OpenXR loader for Windows in $((SECONDS - started)) s" >&2
echo "$cache/bin"
