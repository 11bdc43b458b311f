#!/usr/bin/env bash
# Installs the Debian packages that building and testing need.
# Quick and silent when everything is already there; safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libxft-dev libfontconfig-dev libxtst-dev libxi-dev
  fonts-ipafont-gothic
  libpng-dev socat xvfb openbox trayer xdotool xinput x11-utils imagemagick zenity
  dpkg-dev file man-db desktop-file-utils appstream lintian liblo-tools
  libsystemd-dev dbus-daemon haskell-status-notifier-item-utils libopenxr-dev libopenxr-loader1
  openxr-layer-corevalidation openxr-layer-apidump
  nlohmann-json3-dev
)
windows=0
[[ "${1:-}" == "--windows" || "${TARVEL_WINDOWS:-}" == 1 ]] && windows=1
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

if ((windows)); then
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 fonts-wine locales iproute2
    nsis python3)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A Japanese locale, to try the Windows program under Wine as on a Japanese system
# (TARVEL_WINE_LANG=ja_JP.UTF-8; the tests run under C.UTF-8).
if ((windows)); then
  if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
    "${sudo_cmd[@]}" sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen ||
      echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
  fi
fi
