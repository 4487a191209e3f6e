#!/usr/bin/env bash
# Builds the Debian package from this build folder, checks it with lintian,
# desktop-file-validate and appstreamcli, unpacks it with dpkg -x and checks
# that every file is where the desktop looks for it, and that no program,
# built or packaged, has a run path that could load a library from a folder
# the user controls.
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
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli readelf; do
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
restore() {
    if [[ -e $work/manifest ]]; then cp "$work/manifest" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$work"
}
trap restore EXIT

(cd "$build_dir" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$(echo "$work"/out/vantrel_*.deb)
[[ -f $deb ]] || fail "no package in $work/out"

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
echo "PASS"
