#!/usr/bin/env bash
# The desktop entries validate, the launcher they call runs a program in the
# user's configuration folder, seeding it with the example only once,
# vantrelctl's bash completion offers commands and the file's names, and every
# long option a program's --help lists is in its manual page and works.
# usage: packaging_check.sh SOURCE_DIR PROGRAM... (whose --help is checked)
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$source_dir"/{packaging,examples}/*.desktop 2>&1) || fail "$out"
    [[ -z $out ]] || fail "desktop-file-validate: $out"
else
    echo "desktop-file-validate is not installed; entries not validated"
fi
for entry in vantrel:Vantrel vantrel-config:VantrelConfig; do
    file="$source_dir/packaging/${entry%%:*}.desktop"
    grep -qx "Exec=vantrel-launch ${entry#*:}" "$file" || fail "$file: unexpected Exec line"
    grep -qx "Icon=${entry%%:*}" "$file" || fail "$file: icon is not ${entry%%:*}"
    [[ -f $source_dir/ui/images/${entry%%:*}.png ]] || fail "no icon ui/images/${entry%%:*}.png"
done

# Every program the build makes is installed.
for program in $(sed -n 's/^qt_add_executable(\([A-Za-z-]*\).*/\1/p' \
    "$source_dir"/{panel,editor,ctl,tools}/CMakeLists.txt); do
    grep -Eq "^set\(vantrel_programs.* $program( |\))" "$source_dir/cmake/Packaging.cmake" ||
        fail "$program is not installed by cmake/Packaging.cmake"
done

# An installed tree in miniature: the launcher, a stand-in program that
# reports where it runs, and the example.
mkdir -p "$work/prefix/bin" "$work/prefix/share/vantrel"
cp "$source_dir/packaging/vantrel-launch" "$work/prefix/bin/"
cp "$source_dir/examples/vantrel.ini" "$work/prefix/share/vantrel/"
for program in Vantrel VantrelConfig; do
    printf '#!/bin/sh\necho "%s in $PWD"\n' "$program" >"$work/prefix/bin/$program"
    chmod +x "$work/prefix/bin/$program"
done
export XDG_CONFIG_HOME="$work/config home"
config="$XDG_CONFIG_HOME/vantrel"

out=$("$work/prefix/bin/vantrel-launch" Vantrel)
[[ $out == "Vantrel in $config" ]] || fail "panel started as: $out"
cmp -s "$config/vantrel.ini" "$source_dir/examples/vantrel.ini" || fail "example not copied"

printf 'edited\r\n' >"$config/vantrel.ini"
out=$("$work/prefix/bin/vantrel-launch" VantrelConfig)
[[ $out == "VantrelConfig in $config" ]] || fail "editor started as: $out"
[[ $(cat "$config/vantrel.ini") == $'edited\r' ]] || fail "the user's file was overwritten"

if "$work/prefix/bin/vantrel-launch" rm 2>/dev/null; then
    fail "the launcher ran a program it does not know"
fi

# A relative XDG_CONFIG_HOME is invalid under the base-directory rules.
mkdir -p "$work/cwd"
out=$(cd "$work/cwd" && HOME=$work/home XDG_CONFIG_HOME=rel "$work/prefix/bin/vantrel-launch" Vantrel)
[[ $out == "Vantrel in $work/home/.config/vantrel" ]] || fail "relative XDG_CONFIG_HOME used: $out"

# Each long option a --help lists is in the manual page (\-\-dry\-run) and is
# taken: it ends the program, or (the simulator's own) keeps it serving.
check_options() { # program, its command or "", its help text
    local name=${1##*/} option value status
    for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$3" | sort -u); do
        grep -qE -- "$(sed 's/-/\\\\-/g' <<<"$option")(\$|[^a-z0-9\\\\])" \
            "$source_dir/packaging/man/$name.1.in" || fail "$name: no $option in the manual page"
        status=0 value=$(sed -n "s/.*$option <\([^>]*\)>.*/\1/p" <<<"$3" | head -1)
        if [[ $name == vantrel-switcher-sim && " --address --tcp-port --udp-port --serial --mode " == \
            *" $option "* ]]; then
            value=${value/mode/refuse} value=${value/address/127.0.0.1} value=${value/port/0}
            timeout 1 "$1" --tcp-port 0 --udp-port 0 "$option" $value &>/dev/null || status=$?
            [[ $status == 124 ]] || fail "$name $option ended ($status)"
        elif [[ $name == vantrelctl && "$2 $option" == "log --follow" ]]; then
            # Follows the log as tail -f does, until it is stopped.
            (cd "$work/cwd" && XDG_STATE_HOME=$work/state timeout 1 "$1" log --follow) \
                &>/dev/null || status=$?
            [[ $status == 124 ]] || fail "$name log --follow ended ($status)"
        else
            out=$(cd "$work/cwd" && timeout 10 "$1" ${2:+"$2" -f none} "$option" </dev/null 2>&1) ||
                status=$?
            [[ $status != 124 && $out != *"nknown option"* ]] || fail "$name $2 $option: $out"
        fi
    done
}
for program in "${@:2}"; do
    help=$(cd "$work/cwd" && timeout 10 "$program" --help </dev/null) && [[ -n $help ]] ||
        fail "${program##*/} --help did not answer and end"
    check_options "$program" "" "$help"
    [[ ${program##*/} != vantrelctl ]] ||
        for command in $(sed -n '/^Commands:/,/^$/s/^  \([a-z]*\) .*/\1/p' <<<"$help"); do
            check_options "$program" "$command" "$("$program" "$command" --help)"
        done
done

# Tab after the words given: what the completion bash loads for vantrelctl
# offers, one a line, in a folder holding the example as vantrel.ini.
cp "$source_dir/examples/vantrel.ini" "$work/prefix/"
offers() {
    (cd "$work/prefix" && bash --norc --noprofile -c '
        source "$1"
        shift
        COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
        function=$(complete -p vantrelctl | sed -n "s/.*-F \([^ ]*\) .*/\1/p")
        "$function" vantrelctl "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
        printf "%s\n" "${COMPREPLY[@]}"' _ "$source_dir/packaging/bash-completion/vantrelctl" vantrelctl "$@")
}
# Words before the Tab | what is offered, both comma-separated.
while IFS='|' read -r words expected; do
    IFS=, read -ra words <<<"$words"
    out=$(offers "${words[@]}")
    [[ ${out//$'\n'/,} == "$expected" ]] || fail "vantrelctl ${words[*]}<Tab> offers: ${out//$'\n'/,}"
done <<'TABLE'
se|send
send,Stu|Studio\ A,Studio\ B
send,Studio\ B,Cam|Camera\ 4\ -\ Desk
send,"Studio B",P|Presenter\ Laptop,Playout\ Server
send,3,M|Multiviewer
-f,missing.ini,send,S|
import,--enc|--encoding
take,Stu|Studio\ A,Studio\ B
log,--f|--file,--failed,--follow
remote,di|disable
TABLE
echo "PASS"
