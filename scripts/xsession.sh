# Sourced by the scripts that drive the graphical front end: a display of its
# own under Xvfb, optionally with a window manager that draws captions, and
# bounded helpers to find windows, answer them with keystrokes and take their
# pictures. Needs bash; the caller sets `set -euo pipefail`.
#
#   xsession_start DIR [--manager]   starts Xvfb (and openbox); returns 77 when
#                                    Xvfb cannot start
#   xsession_stop                    ends them (also on exit)
#   xwindows REGEX                   ids of visible windows whose title matches
#   xanswer REGEX KEYS...            types KEYS into every such window; true
#                                    when there was one
#   xshot FILE.png [WINDOW]          a picture of the screen or of one window
#   xshot_screen FILE.ppm            the screen with every visible window
#                                    pasted in from its own picture
#   xpixels_highlight WINDOW         how many of its pixels are the selection
#                                    blue the progress bars are filled with

xsession_pids=()

xsession_stop() {
    local p
    for p in ${xsession_pids[@]+"${xsession_pids[@]}"}; do
        kill "$p" 2>/dev/null || true
    done
    xsession_pids=()
}

xsession_start() {
    local dir=$1 manager=${2:-}
    mkdir -p "$dir"
    rm -f "$dir/display"
    command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; return 77; }
    # Xvfb picks a free display and says which.
    exec 3>"$dir/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.out" 2>&1 &
    xsession_pids+=($!)
    exec 3>&-
    local _
    for _ in $(seq 1 100); do
        [ -s "$dir/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$dir/display" ]; then
        echo "Xvfb did not start: $(tail -3 "$dir/xvfb.out")" >&2
        xsession_stop
        return 77
    fi
    DISPLAY=:$(head -1 "$dir/display")
    export DISPLAY
    unset WAYLAND_DISPLAY
    # The number comes as the server starts; a client may connect only once
    # it answers (a busy machine showed the gap).
    if command -v xdotool >/dev/null; then
        for _ in $(seq 1 100); do
            timeout 2 xdotool getdisplaygeometry >/dev/null 2>&1 && break
            sleep 0.1
        done
    fi
    if [ "$manager" = --manager ] && command -v openbox >/dev/null; then
        openbox --sm-disable >"$dir/openbox.out" 2>&1 &
        xsession_pids+=($!)
        sleep 0.5
    fi
    trap xsession_stop EXIT
}

_x() { timeout 10 "$@" 2>/dev/null; }

# By class, then title: a title outside Latin-1 reaches xdotool's own name
# search in another encoding.
xwindows() {
    local w name
    for w in $(_x xdotool search --onlyvisible --class . || true); do
        name=$(_x xdotool getwindowname "$w" || true)
        [[ $name =~ $1 ]] && echo "$w"
    done
    return 0
}

xanswer() {
    local pattern=$1 found=1 w
    shift
    for w in $(xwindows "$pattern"); do
        found=0
        _x xdotool windowactivate --sync "$w" || _x xdotool windowfocus --sync "$w" || true
        _x xdotool key --clearmodifiers "$@" || true
    done
    return $found
}

xshot() {
    local file=$1 target=${2:--root}
    [ "$target" = -root ] || target="-id $target"
    # shellcheck disable=SC2086
    _x xwd -silent $target | xwdtopnm 2>/dev/null | pnmtopng >"$file" 2>/dev/null
}

# Xvfb's picture of the screen leaves a window that opened over another one
# black, although the window itself holds its picture: the screen is put
# together from each window's own, bottom to top (newer windows on top).
xshot_screen() {
    local file=$1 w X Y WIDTH
    _x xwd -silent -root | xwdtopnm >"$file" 2>/dev/null
    for w in $(_x xdotool search --onlyvisible --class . | sort -n); do
        read -r X Y WIDTH < <(_x xwininfo -id "$w" | awk '/Absolute upper-left X/ { x = $NF }
            /Absolute upper-left Y/ { y = $NF } /Width:/ { w = $NF } END { print x, y, w }')
        [ "${X:--1}" -ge 0 ] && [ "${Y:--1}" -ge 0 ] && [ "${WIDTH:-0}" -gt 1 ] || continue
        _x xwd -silent -id "$w" | xwdtopnm >"$file.window" 2>/dev/null || continue
        pnmpaste "$file.window" "$X" "$Y" "$file" >"$file.next" 2>/dev/null &&
            mv "$file.next" "$file"
    done
    rm -f "$file.window" "$file.next"
}

xpixels_highlight() {
    _x xwd -silent -id "$1" | xwdtopnm 2>/dev/null | ppmhist -noheader 2>/dev/null |
        awk '$3 > $1 + 80 && $3 > $2 + 30 { n += $5 } END { print n + 0 }'
}
