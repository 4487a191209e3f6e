#!/usr/bin/env bash
# End to end: the panel on a copy of the demo configuration, under a virtual
# X display, with the switcher simulator listening. Presses every row's
# output button with xdotool, then Close, and checks that
#   - the simulator printed exactly the decoded command of each row's chosen
#     input, in row order, one line per press;
#   - every connection ended in order: the simulator greets and acknowledges
#     (answer mode), so a panel that left those bytes unread would reset it;
#   - Close wrote the configuration back with the one choice changed on the
#     way (the first row's list is moved one input down with the mouse wheel).
#
# usage: demo_check.sh PANEL SIMULATOR EXAMPLE_INI
# Exit 77 (skipped) when xvfb-run or xdotool is missing.
set -euo pipefail

panel=$1
sim=$2
example=$3

for tool in xvfb-run xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (tools/install-deps.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
sim_pid=""
cleanup() {
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- simulator log"
    cat "$work/switcher.log" 2>/dev/null || true
    exit 1
}

# The simulator picks a free port so a running demo on 3001 is no obstacle.
"$sim" --tcp-port 0 --udp-port 0 --mode answer >"$work/switcher.log" 2>&1 &
sim_pid=$!
port=""
for _ in $(seq 100); do
    port=$(sed -n 's/.* tcp \[listening on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$work/switcher.log")
    [[ -n $port ]] && break
    sleep 0.1
done
[[ -n $port ]] || fail "the simulator did not start"

# The example with only the port changed, line ends (CR LF) kept.
sed "s/^port=3001\r\$/port=$port\r/" "$example" >"$work/vantrel.ini"
grep -q "^port=$port"$'\r'"\$" "$work/vantrel.ini" || fail "no port=3001 line in $example"
cp "$work/vantrel.ini" "$work/expected.ini"

# The line the simulator prints for a stored command: the escapes decoded as
# the panel decodes them (\\ \r \n \t, any other escaped character itself, a
# trailing backslash dropped), then shown as the simulator shows bytes.
readable_command() {
    local text=$1 out="" c escape=0 i code
    for ((i = 0; i < ${#text}; i++)); do
        c=${text:i:1}
        if ((escape)); then
            escape=0
            case $c in
            r) out+='\r' ;;
            n) out+='\n' ;;
            t) out+='\x09' ;;
            \\) out+='\\' ;;
            *) out+=$c ;;
            esac
        elif [[ $c == \\ ]]; then
            escape=1
        else
            printf -v code '%d' "'$c"
            if ((code < 32 || code >= 127)); then
                printf -v c '\\x%02X' "$code"
            fi
            out+=$c
        fi
    done
    printf '%s' "$out"
}

# Walk the file: per output its "selected" and the commands of its inputs.
expected=()
rows=0
first_selected="" first_commands=()
{
    section="" selected=-1 index=-1 chosen=""
    finish_output() {
        if [[ $section != "" ]]; then
            expected+=("$(readable_command "$chosen")")
            rows=$((rows + 1))
        fi
    }
    while IFS= read -r line; do
        line=${line%$'\r'}
        case $line in
        "[output]")
            finish_output
            section=output selected=-1 index=-1 chosen=""
            ;;
        "[input]") index=$((index + 1)) ;;
        selected=*) selected=${line#selected=} ;;
        command=*)
            ((index == selected)) && chosen=${line#command=}
            ((rows == 0)) && first_commands+=("${line#command=}")
            [[ -z $first_selected ]] && ((rows == 0)) && first_selected=$selected
            ;;
        esac
    done <"$work/vantrel.ini"
    finish_output
}
((rows > 0)) || fail "the example has no outputs"
((rows <= 8)) || fail "this check presses the left column only"
# The first row's new choice: the input after the stored one.
new_choice=$((first_selected + 1))
((first_selected >= 0 && new_choice < ${#first_commands[@]})) ||
    fail "the first output needs a chosen input with another one after it"
expected[0]=$(readable_command "${first_commands[new_choice]}")
sed -i "0,/^selected=$first_selected\r\$/s//selected=$new_choice\r/" "$work/expected.ini"

# Row r's button in pixels from the client area's corner (15 twips a pixel):
# left 4200, width 1695, height 375, tops as the panel lays them out.
tops=(270 735 1200 1665 2145 2610 3075 3540)
button_x=$(((4200 + 1695 / 2) / 15))
combo_x=$(((480 + 2895 / 2) / 15))
close_x=$(((10440 + 1695 / 2) / 15))
close_y=$(((4680 + 375 / 2) / 15))

cat >"$work/drive.sh" <<DRIVE
#!/usr/bin/env bash
# Runs inside the virtual display.
set -euo pipefail
cd "$work"
QT_QPA_PLATFORM=xcb "$panel" >panel.out 2>&1 &
panel_pid=\$!
window=\$(timeout 20 xdotool search --sync --name '^Vantrel 2\.07\$' | head -n 1) || true
if [[ -z \$window ]]; then
    echo "the panel's window did not appear"; cat panel.out; kill \$panel_pid; exit 1
fi
# No window manager: the window's origin is the client area's corner.
eval "\$(xdotool getwindowgeometry --shell "\$window")"
tops=(${tops[*]})
# One notch of the wheel over the first row's list chooses the next input.
xdotool mousemove --sync \$((X + $combo_x)) \$((Y + (tops[0] + 30 + 315 / 2) / 15)) click 5
for ((r = 0; r < $rows; r++)); do
    y=\$(( (tops[r] + 375 / 2) / 15 ))
    xdotool mousemove --sync \$((X + $button_x)) \$((Y + y)) click 1
    # One press at a time, so the log's order is the rows' order.
    for _ in \$(seq 100); do
        (( \$(grep -c ' tcp [0-9]* bytes' switcher.log) > r )) && break
        sleep 0.1
    done
done
xdotool mousemove --sync \$((X + $close_x)) \$((Y + $close_y)) click 1
for _ in \$(seq 100); do
    kill -0 \$panel_pid 2>/dev/null || break
    sleep 0.1
done
if kill -0 \$panel_pid 2>/dev/null; then
    echo "the panel did not end after Close"; kill \$panel_pid; exit 1
fi
if ! wait \$panel_pid; then
    echo "the panel ended with an error:"; cat panel.out; exit 1
fi
DRIVE
chmod +x "$work/drive.sh"

xvfb-run -a -s "-screen 0 1280x800x24" "$work/drive.sh" || fail "driving the panel failed"

mapfile -t got < <(sed -n 's/^[0-9-]* [0-9:.]* tcp [0-9]* bytes\{0,1\}: //p' "$work/switcher.log")
if ((${#got[@]} != rows)); then
    fail "expected $rows commands, the simulator printed ${#got[@]}"
fi
for ((r = 0; r < rows; r++)); do
    [[ ${got[r]} == "${expected[r]}" ]] ||
        fail "row $((r + 1)): expected '${expected[r]}', the simulator printed '${got[r]}'"
    echo "row $((r + 1)): ${got[r]}"
done
if grep -qE 'reset by the peer|ended by reset' "$work/switcher.log"; then
    fail "a connection was reset instead of closed"
fi
in_order=$(grep -c ' tcp \[connection ended in order\]' "$work/switcher.log" || true)
((in_order == rows)) || fail "expected $rows connections ended in order, the log shows $in_order"
cmp -s "$work/vantrel.ini" "$work/expected.ini" ||
    fail "Close did not write the choices back as expected: $(diff "$work/expected.ini" "$work/vantrel.ini" | head -5)"
echo "PASS: $rows presses, $rows commands, choices written back"
