#!/usr/bin/env bash
# Screenshots of the main window on demo data under Xvfb, one PNG per tab, of
# the resume window, a tool-tip and the about box, and of the user list and
# statistics windows (default list options, then every column with names not
# split).
#
#   bash scripts/screenshot.sh [OUTDIR]        (default: <build>/screenshots)
#
# Environment: ZORV_BUILD_DIR (default build/default), QT_SCALE_FACTOR (e.g. 2).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZORV_BUILD_DIR:-build/default}
out=${1:-$build/screenshots}
scale=${QT_SCALE_FACTOR:-1}

if [ "$build" = build/default ]; then
  bash scripts/setup.sh
  cmake --preset default >/dev/null
fi
cmake --build "$build" --target zorvedit zorvtool -j 2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/prog" "$work/config/NV" "$work/runtime"
chmod 700 "$work/runtime"
"$build/tools/zorvtool" demo "$work/demo" >/dev/null
# The working copy lies beside the program: give this run a copy of its own.
cp "$build/src/zorvedit" "$work/prog/zorvedit"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\r\n"Filename"="%s"\r\n"Resume"="%s"\r\n' \
  "$work/demo/zorvuser.dat" "$work/demo/resume" >"$work/config/NV/zorvedit.reg"

cat >"$work/shot.sh" <<'SHOT'
#!/usr/bin/env bash
set -euo pipefail
work=$1 out=$2 suffix=$3
names=(general statistics misc find bbs-statistics)
for i in 0 1 2 3 4; do
  ZORVEDIT_START_TAB=$i XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb "$work/prog/zorvedit" &
  pid=$!
  wid=$(timeout 15 xdotool search --sync --onlyvisible --name 'ZORV' | head -1)
  sleep 1
  import -window "$wid" "$out/${names[$i]}$suffix.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done

# The secondary windows: user 8 (Nordic letters) has a resume.
shoot() { # NAME WINDOW-TITLE ZORVEDIT_SHOW WAIT
  ZORVEDIT_SHOW=$3 XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb "$work/prog/zorvedit" &
  pid=$!
  wid=$(timeout 15 xdotool search --sync --onlyvisible --name "$2" | head -1)
  sleep "$4"
  if [ "$1" = tooltip ]; then
    # The tip is a window of its own: take the screen around the main window.
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    import -window root -crop "$((WIDTH + 200))x$((HEIGHT + 100))+$X+$Y" +repage "$out/$1$suffix.png"
  else
    import -window "$wid" "$out/$1$suffix.png"
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
shoot resume '^Resume$' resume:8 1
shoot about '^About$' about 1.3
shoot tooltip 'ZORV' hint 2

# The report windows, opened by the main window's keys.
shoot_report() { # options key window-name file [x y [text]: a press before the shot, then typing]
  printf '"Options"="%s"\r\n' "$1" >>"$work/config/NV/zorvedit.reg"
  XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb "$work/prog/zorvedit" &
  pid=$!
  wid=$(timeout 15 xdotool search --sync --onlyvisible --name 'ZORV' | head -1)
  sleep 1
  xdotool windowfocus --sync "$wid"
  xdotool key "$2"
  rid=$(timeout 15 xdotool search --sync --onlyvisible --name "^$3\$" | head -1)
  sleep 1
  if [ $# -ge 6 ]; then
    xdotool mousemove --window "$rid" "$5" "$6" click 1 mousemove --window "$rid" 5 5
    sleep 1
  fi
  if [ $# -ge 7 ]; then
    xdotool type --delay 100 "$7"
    sleep 1
  fi
  import -window "$rid" "$out/$4$suffix.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
cp "$work/config/NV/zorvedit.reg" "$work/base.reg"
shoot_report 11111111001 ctrl+l Userlist userlist
cp "$work/base.reg" "$work/config/NV/zorvedit.reg"
shoot_report 11111111110 ctrl+l Userlist userlist-all
cp "$work/base.reg" "$work/config/NV/zorvedit.reg"
shoot_report 11111111001 ctrl+t Statistics statistics-window
# Sorted by Surname (the third column's header, at 1x from x 220 to 420,
# below the filter's row).
cp "$work/base.reg" "$work/config/NV/zorvedit.reg"
shoot_report 11111111001 ctrl+l Userlist userlist-sorted $((320 * ${QT_SCALE_FACTOR:-1})) $((46 * ${QT_SCALE_FACTOR:-1}))
# The filter: a text typed into the field above the grid.
cp "$work/base.reg" "$work/config/NV/zorvedit.reg"
shoot_report 11111111001 ctrl+l Userlist userlist-filtered $((120 * ${QT_SCALE_FACTOR:-1})) $((18 * ${QT_SCALE_FACTOR:-1})) "an"
SHOT

suffix=""
if [ "$scale" != 1 ]; then suffix="@${scale}x"; fi
QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 2600x1800x24 -nolisten tcp" \
  bash "$work/shot.sh" "$work" "$(cd "$out" && pwd)" "$suffix"
ls "$out"/*"$suffix".png
