#!/usr/bin/env bash
# Builds the Debian package from this build folder, checks it with lintian,
# desktop-file-validate and appstreamcli, unpacks it with dpkg -x and checks
# that every file is where the desktop looks for it, and that no program,
# built or packaged, has a run path that could load a library from a folder
# the user controls. Then builds it again from debian/ with
# dpkg-buildpackage and checks that both ways give the same files and fields,
# that each way gives the same bytes twice, and that an install to
# /usr/local leaves out what belongs to the package alone.
# usage: package_check.sh SOURCE_DIR BUILD_DIR SANITIZED PROGRAM...
set -euo pipefail
source_dir=$1 build_dir=$2 sanitized=$3
shift 3
built=("$@")
fail() {
    echo "FAIL: $*"
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}

[[ $sanitized == 0 ]] || skip "the sanitizer build is not packaged"
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-buildpackage dh lintian desktop-file-validate appstreamcli readelf; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (tools/install-deps.sh --test)"
done

# Empty, relative and $ORIGIN entries all name folders relative to where the
# program or its user happens to be.
check_run_path() {
    local paths rest entry
    paths=$(readelf -d "$1" | sed -n 's/.*Library r\(un\)\{0,1\}path: \[\(.*\)\]/\2/p')
    rest=${paths:+$paths:}
    while [[ -n $rest ]]; do
        entry=${rest%%:*} rest=${rest#*:}
        [[ $entry == /* && $entry != *'$ORIGIN'* ]] || fail "$1: run path [$paths]"
    done
}
for program in "${built[@]}"; do
    check_run_path "$program"
done

work=$(mktemp -d)
# CPack's install rewrites the build folder's install_manifest.txt; a later
# uninstall from that list must still see what the user installed.
manifest=$build_dir/install_manifest.txt
[[ -e $manifest ]] && cp "$manifest" "$work/manifest"
# dpkg-buildpackage's copy of the tree stays at one path from run to run, so
# that ccache recognises its compiler calls (they name that path).
debian_build=$build_dir/package-check
restore() {
    if [[ -e $work/manifest ]]; then cp "$work/manifest" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$work" "$debian_build"
}
trap restore EXIT

(cd "$build_dir" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$(echo "$work"/out/vantrel_*.deb)
[[ -f $deb ]] || fail "no package in $work/out"
# Every time stamp is the changelog's, so packing the same build again gives
# the same bytes.
(cd "$build_dir" && cpack -G DEB -B "$work/again" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$work/cpack.log")"
cmp -s "$deb" "$work"/again/vantrel_*.deb || fail "two CPack runs gave different bytes"

out=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian: $out"

for field in Maintainer:@ Homepage:https:// Section:video; do
    value=$(dpkg-deb -f "$deb" "${field%%:*}")
    [[ $value == *"${field#*:}"* && $value != *example.* ]] ||
        fail "${field%%:*} is \"$value\""
done

root=$work/root
dpkg -x "$deb" "$root"
usr=$root/usr
for program in Vantrel VantrelConfig vantrelctl vantrel-switcher-sim vantrel-launch; do
    [[ -x $usr/bin/$program ]] || fail "no program /usr/bin/$program"
done
for program in "$usr"/bin/*; do
    gzip -t "$usr/share/man/man1/${program##*/}.1.gz" 2>/dev/null ||
        fail "no manual page for ${program##*/}"
    [[ $(head -c4 "$program") != $'\x7fELF' ]] || check_run_path "$program"
done
gzip -t "$usr/share/doc/vantrel/changelog.Debian.gz" || fail "no changelog.Debian.gz"
head -1 "$usr/share/doc/vantrel/copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not machine-readable"

# Each desktop entry: valid, its program's window claims it, its icon at
# every size, and AppStream data launching it.
out=$(desktop-file-validate "$usr"/share/applications/*.desktop 2>&1) && [[ -z $out ]] ||
    fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml 2>&1) ||
    fail "appstreamcli: $out"
for entry in vantrel:Vantrel:panel vantrel-config:VantrelConfig:editor; do
    IFS=: read -r id program folder <<<"$entry"
    desktop=$usr/share/applications/$id.desktop
    grep -qx "StartupWMClass=$program" "$desktop" || fail "$id.desktop: StartupWMClass"
    grep -q "setDesktopFileName(QStringLiteral(\"$id\"))" "$source_dir/$folder/main.cpp" ||
        fail "$program does not name $id as its desktop entry"
    grep -q "setApplicationName(QStringLiteral(\"$program\"))" "$source_dir/$folder/main.cpp" ||
        fail "$program's window class is not $program"
    for size in 16 22 24 32 48 64 128 256; do
        [[ -f $usr/share/icons/hicolor/${size}x$size/apps/$id.png ]] || fail "no ${size}px $id icon"
    done
    [[ -f $usr/share/icons/hicolor/scalable/apps/$id.svg ]] || fail "no scalable $id icon"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
        "$usr"/share/metainfo/*.metainfo.xml || fail "no AppStream data launches $id.desktop"
done

# An install elsewhere than /usr is no package: no Debian changelog and no
# lintian overrides, but everything a user runs.
DESTDIR=$work/local cmake --install "$build_dir" --prefix /usr/local >/dev/null
local_files=$(cd "$work/local" && find . -type f)
[[ $local_files != *changelog.Debian* && $local_files != *lintian* ]] ||
    fail "an install to /usr/local holds: $(grep -E 'changelog|lintian' <<<"$local_files")"
[[ $local_files == *share/bash-completion/completions/vantrelctl* ]] ||
    fail "an install to /usr/local has no bash completion"

# The same package from debian/, built in a copy of the tree (dpkg-buildpackage
# writes its results beside the tree). Unoptimised, through ccache where there
# is one: the files and fields are compared, not the code.
rm -rf "$debian_build"
mkdir -p "$debian_build/vantrel"
if git -C "$source_dir" rev-parse --show-toplevel >/dev/null 2>&1; then
    git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
        tar -C "$source_dir" --null -T - -cf - | tar -C "$debian_build/vantrel" -xf -
else
    tar -C "$source_dir" --exclude='./build*' --exclude=./demo --exclude='./obj-*' -cf - . |
        tar -C "$debian_build/vantrel" -xf -
fi
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$debian_build
fi
build_deb() {
    (cd "$debian_build/vantrel" &&
        DEB_BUILD_OPTIONS="noopt nocheck parallel=$(nproc)" dpkg-buildpackage -b -us -uc "$@") \
        >"$work/dpkg.log" 2>&1 || fail "dpkg-buildpackage $*: $(tail -n 30 "$work/dpkg.log")"
}
build_deb
dpkg_deb=$(echo "$debian_build"/vantrel_*.deb)
[[ -f $dpkg_deb ]] || fail "dpkg-buildpackage made no package"
out=$(lintian --fail-on error,warning "$dpkg_deb" 2>&1) || fail "lintian (dpkg-buildpackage): $out"

# File names, modes and owners (dpkg-deb lists the top folder, CPack not);
# the control fields, dependencies by name (their versions follow the code
# the compiler made).
contents() { dpkg-deb -c "$1" | awk '$6 != "./" { print $1, $2, $6 }'; }
fields() {
    dpkg-deb -f "$1" Package Version Architecture Maintainer Depends Recommends \
        Section Priority Homepage Description | sed -e '/^Depends:/s/ ([^)]*)//g'
}
diff <(contents "$deb") <(contents "$dpkg_deb") >"$work/diff" ||
    fail "CPack and dpkg-buildpackage packed different files: $(cat "$work/diff")"
diff <(fields "$deb") <(fields "$dpkg_deb") >"$work/diff" ||
    fail "CPack and dpkg-buildpackage wrote different fields: $(cat "$work/diff")"
# The platform plugins the programs load are libqt6gui6's own.
dpkg-deb -f "$dpkg_deb" Depends | grep -q 'libqt6gui6' || fail "no dependency on libqt6gui6"
dpkg-deb -f "$dpkg_deb" Recommends | grep -qx 'qt6-wayland' || fail "qt6-wayland is not recommended"

# dpkg-buildpackage again on the same build, without cleaning it first.
mv "$dpkg_deb" "$work/first.deb"
build_deb -nc
cmp -s "$work/first.deb" "$dpkg_deb" || fail "two dpkg-buildpackage runs gave different bytes"
echo "PASS"
