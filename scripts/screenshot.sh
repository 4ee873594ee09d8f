#!/usr/bin/env bash
# Builds the tool (scripts/build.sh) and saves a picture of its window, as a user sees it
# right after start, to docs/window.png (or to the path given as the only argument).
#
# The tool runs on a virtual X display (xvfb-run) with one virtual serial line mapped as
# COM1 (a socat pty pair in a private dosdevices folder), so the port list is not empty.
# The picture is cut from the virtual screen with ImageMagick (installed here when missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/window.png}
bin=$root/build/cmt2300-config

if ! command -v import >/dev/null || ! command -v convert >/dev/null; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends imagemagick
fi
for tool in xvfb-run xauth socat; do
  if ! command -v "$tool" >/dev/null; then
    echo "screenshot: $tool is missing; run scripts/setup.sh" >&2
    exit 1
  fi
done

"$root/scripts/build.sh" cmt2300-config

work=$(mktemp -d)
socat_pid=
cleanup() {
  if [ -n "$socat_pid" ]; then
    kill "$socat_pid" 2>/dev/null || true
    wait "$socat_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME=$work/config
dosdevices=$XDG_CONFIG_HOME/cmt2300-config/dosdevices
mkdir -p "$dosdevices"
socat pty,raw,echo=0,link="$dosdevices/com1" pty,raw,echo=0,link="$work/module" &
socat_pid=$!
for _ in $(seq 50); do
  [ -e "$dosdevices/com1" ] && break
  sleep 0.1
done
if [ ! -e "$dosdevices/com1" ]; then
  echo "screenshot: socat did not create the virtual serial line" >&2
  exit 1
fi

# A 24-bit, 96 dpi screen with a white root window, and no scaling of the window.
xvfb_args="-screen 0 1024x768x24 -dpi 96 -wr -nolisten tcp"
export QT_ENABLE_HIGHDPI_SCALING=0 QT_QPA_PLATFORM=xcb LANG=C.UTF-8 LC_ALL=C.UTF-8
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS

picture=$work/window.png
# Start the tool, give it time to show its window, grab the whole screen, and cut the
# white root window away around the window.
xvfb-run -a -s "$xvfb_args" bash -c '
  "$1" & pid=$!
  sleep 4
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "screenshot: the tool ended before its window could be captured" >&2
    exit 1
  fi
  import -window root "$2"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
' capture "$bin" "$work/screen.png"
convert "$work/screen.png" -trim +repage "$picture"

# PNG width and height: bytes 16..23, big-endian.
read -r width height < <(od -An -tu1 -j16 -N8 "$picture" |
  awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
if [ "$width" -lt 538 ] || [ "$height" -lt 243 ]; then
  echo "screenshot: the picture is ${width}x${height}, smaller than the window's client area" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
cp "$picture" "$out.tmp.png"
mv "$out.tmp.png" "$out"
echo "screenshot: saved $out (${width}x${height})"
