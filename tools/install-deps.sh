#!/usr/bin/env bash
# Installs the Debian packages Vantrel needs to build, test and run, but only
# those that are missing, so a second run is quick and needs no network.
# "--test" adds what only the test run uses: clang with libFuzzer for the
# configuration fuzzer, clang-format for the format check, and lintian and
# appstream (appstreamcli) for the package check. dpkg-dev (dpkg-shlibdeps)
# and file are what CPack needs to find the package's library dependencies.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
    xvfb xauth xdotool imagemagick desktop-file-utils dpkg-dev file
)
if [[ ${1:-} == --test ]]; then
    packages+=(clang libclang-rt-dev clang-format lintian appstream)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
