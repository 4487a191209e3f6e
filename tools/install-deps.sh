#!/usr/bin/env bash
# Installs the Debian packages Vantrel needs to build, test and run, but only
# those that are missing, so a second run is quick and needs no network.
# "--test" adds what only the test run uses: clang with libFuzzer for the
# configuration fuzzer, lld to link the suites faster, clang-format for the
# format check, lintian and appstream (appstreamcli) and debhelper (for
# dpkg-buildpackage) for the package check, acl and attr for the tests of
# what a save keeps, and Chromium with its driver and Selenium for the browser
# panel's tests. dpkg-dev (dpkg-shlibdeps) and file are what CPack needs to
# find the package's library dependencies.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
    qt6-httpserver-dev qt6-websockets-dev liblo-dev libsystemd-dev
    xvfb xauth xdotool imagemagick desktop-file-utils dpkg-dev file
)
if [[ ${1:-} == --test ]]; then
    packages+=(clang libclang-rt-dev lld clang-format lintian appstream debhelper
        acl attr chromium chromium-driver python3-selenium)
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
