#!/usr/bin/env bash
# The demo in one command: installs what is missing, builds, prepares demo/
# with a copy of examples/vantrel.ini, starts the switcher simulator and then
# the panel in demo/. Every press shows up in demo/switcher.log.
#
#   ./run.sh          the switching panel (Vantrel)
#   ./run.sh config   the configuration editor (VantrelConfig) on the same file
#   ./run.sh editor   same as config
#   ./run.sh panel --mode refuse
#                     anything after the program goes to the simulator: here
#                     it refuses connections, to show the panel's retries and
#                     its error message
#
# Without a display (no DISPLAY, no WAYLAND_DISPLAY) the program runs on a
# virtual X display instead: a screenshot goes to demo/screenshot.png, the
# panel's buttons are pressed once each, and the program is closed again.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

case ${1:-panel} in
panel) program=Vantrel close_twips=(10440 4680 1695 375) ;;
config | editor) program=VantrelConfig close_twips=(7560 4440 1215 375) ;;
-h | --help)
    sed -n '2,16s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
*)
    echo "usage: $0 [panel|config|editor] [simulator options]" >&2
    exit 2
    ;;
esac
(($#)) && shift
sim_args=("$@")

tools/install-deps.sh

echo "== Building ($program and the switcher simulator, Release, build-run/)"
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-run -j "$(nproc)" --target "$program" vantrel-switcher-sim
binary=$(find build-run -type f -name "$program" -perm -u+x | head -n 1)
sim=build-run/tools/vantrel-switcher-sim
[[ -n $binary ]] || { echo "run.sh: $program was not built" >&2; exit 1; }

mkdir -p demo
if [[ -e demo/vantrel.ini ]]; then
    echo "== Using the existing demo/vantrel.ini (delete it to start again from the example)"
else
    cp examples/vantrel.ini demo/vantrel.ini
    echo "== Copied examples/vantrel.ini to demo/vantrel.ini"
fi

sim_pid="" tail_pid=""
stop_background() {
    # errexit is on: a killed child's status must not become the script's.
    if [[ -n $tail_pid ]]; then
        kill "$tail_pid" 2>/dev/null || true
    fi
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_background EXIT
trap 'exit 130' INT TERM

"$sim" "${sim_args[@]}" >demo/switcher.log 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
    grep -q '^[0-9-]* [0-9:.]* tcp \[' demo/switcher.log && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        sim_pid=""
        echo "run.sh: the switcher simulator could not start:" >&2
        cat demo/switcher.log >&2
        echo "(is another demo still running? it uses port 3001)" >&2
        exit 1
    fi
    sleep 0.1
done
echo "== Switcher simulator running (pid $sim_pid), logging to demo/switcher.log"

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    echo "== Starting $program in demo/; close it to end the demo. Commands received:"
    tail -n +1 -f demo/switcher.log &
    tail_pid=$!
    status=0
    (cd demo && "$root/$binary") || status=$?
    sleep 0.2 # let tail show the last line
    exit "$status"
fi

echo "== No display found (neither DISPLAY nor WAYLAND_DISPLAY is set)."
echo "   Running $program on a virtual X display (Xvfb) instead: it takes a screenshot,"
if [[ $program == Vantrel ]]; then
    echo "   presses each row's output button once and then presses Close."
else
    echo "   then presses Close (which writes demo/vantrel.ini back)."
fi

# Runs inside the virtual display: start, screenshot, press, close.
cat >demo/.headless.sh <<'HEADLESS'
#!/usr/bin/env bash
set -uo pipefail
binary=$1 program=$2 close_left=$3 close_top=$4 close_width=$5 close_height=$6
QT_QPA_PLATFORM=xcb "$binary" >program.out 2>&1 &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
if [[ -z $window ]]; then
    echo "run.sh: the window of $program did not appear:" >&2
    cat program.out >&2
    kill "$pid" 2>/dev/null
    exit 1
fi
# No window manager here: the window's origin is its client area's corner.
eval "$(xdotool getwindowgeometry --shell "$window")"
sleep 3
import -window "$window" screenshot.png
if [[ $program == Vantrel ]]; then
    # Press each row's output button once (left column, rows 1 to 8) so the
    # simulator's log shows the commands; rows without an output are disabled.
    for top in 270 735 1200 1665 2145 2610 3075 3540; do
        xdotool mousemove --sync $((X + (4200 + 847) / 15)) $((Y + (top + 187) / 15)) click 1
        sleep 0.3
    done
    # The whole screen, so a message box from a failed send shows too.
    sleep 1
    import -window root screenshot-pressed.png
    # Each failed press ends in a message box; answer them (OK) so that
    # Close can save. Done once no box has shown for two seconds.
    quiet=0
    while ((quiet < 8)); do
        box=""
        for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true); do
            if [[ $(xdotool getwindowname "$w" 2>/dev/null) == Error ]]; then
                box=$w
                break
            fi
        done
        if [[ -n $box ]]; then
            quiet=0
            xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
        else
            quiet=$((quiet + 1))
        fi
        sleep 0.25
    done
fi
xdotool mousemove --sync $((X + (close_left + close_width / 2) / 15)) \
    $((Y + (close_top + close_height / 2) / 15)) click 1
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "run.sh: $program did not close; ending it" >&2
    kill "$pid"
fi
wait "$pid"
HEADLESS
chmod +x demo/.headless.sh
rm -f demo/screenshot.png demo/screenshot-pressed.png
status=0
(cd demo && xvfb-run -a -s "-screen 0 1280x800x24" ./.headless.sh "$root/$binary" "$program" \
    "${close_twips[@]}") || status=$?
rm -f demo/.headless.sh
if [[ -f demo/screenshot.png ]]; then
    echo "== Screenshot saved to $root/demo/screenshot.png"
fi
if [[ -f demo/screenshot-pressed.png ]]; then
    echo "== After pressing the buttons: $root/demo/screenshot-pressed.png"
fi
echo "== The simulator's log (demo/switcher.log):"
cat demo/switcher.log
exit "$status"
