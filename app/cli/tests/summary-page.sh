#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The page of --summarize --html in a real browser: made from the real runs of
# three host names, read back from headless Chromium's DOM, and photographed at
# a desktop's width and a phone's, where it must not scroll sideways. Nothing
# may be fetched: every name resolves to nothing.
# Usage: summary-page.sh SETUPREEL OUT-DIR (the screenshots are kept there).
set -eu
setupreel=$1
out=$2
python=/usr/bin/python3

for tool in chromium unshare; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
"$python" -c 'import PIL' 2>/dev/null || { echo "SKIP: python3-pil is missing"; exit 77; }
unshare --uts true 2>/dev/null || { echo "SKIP: unshare --uts needs root here"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# Lines as long as real ones: a full path with no blank to wrap at.
setups=$work/Setups/Productivity_Suite_Professional_2024_x64
mkdir -p "$setups"
printf '#!/bin/sh\nexit 0\n' >"$setups/good.sh"
printf '#!/bin/sh\nexit 5\n' >"$setups/bad.sh"
chmod +x "$setups/good.sh" "$setups/bad.sh"
printf '>Office <b>tools</b>\r\n%s/good.sh\r\n' "$setups" >office.SR
printf '>Lab\r\n%s/good.sh\r\n%s/bad.sh\r\n' "$setups" "$setups" >lab.SR
for host in lab-a lab-b lab-c; do
    list=office.SR
    [ "$host" = lab-c ] && list=lab.SR
    XDG_STATE_HOME=$work/state-$host SETUPREEL=$setupreel LIST=$list \
        unshare --uts sh -c 'hostname "$0" && "$SETUPREEL" --install "$LIST"' "$host" >/dev/null 2>&1 || true
    mkdir -p "reports/$host"
    cp -R "state-$host/setupreel/runs" "reports/$host/"
done

status=0
"$setupreel" --summarize reports --html "$work/page.html" >table.txt || status=$?
[ "$status" = 1 ] || fail "--summarize ended with $status, not 1"
for resource in http src= 'url(' @import '<link' '<script' '<img'; do
    grep -qiF "$resource" page.html && fail "the page holds $resource"
done

# A new empty profile each time; any host name resolves to nothing.
browse() {
    rm -rf "$work/profile"
    mkdir "$work/profile"
    timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$work/profile" --host-resolver-rules="MAP * ~NOTFOUND" "$@" 2>>chromium.log
}

browse --dump-dom "file://$work/page.html" >dom.html
grep -q '</html>' dom.html || fail "no DOM came back (see chromium.log)"
# The text a reader sees, in its order.
sed -e 's/<[^>]*>/ /g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&amp;/\&/g' dom.html | tr -s ' \n' ' ' >text.txt
for seen in lab-a lab-b lab-c bad.sh 'failed (exit code 5)' succeeded 'Office <b>tools</b>' \
    '3 machine(s), 3 list(s), 4 program line(s).' '1 failed' '3 succeeded' 'Not all succeeded on: lab-c'; do
    grep -qF -- "$seen" text.txt || fail "the page does not say: $seen"
done
grep -q '<b>' dom.html && fail "a list title became markup"
# The failing machine first, and its failure before its success.
order=$(grep -oE 'lab-[abc] [0-9] of|all [0-9] program|bad\.sh|good\.sh' text.txt | tr '\n' ',')
case "$order" in
"lab-c 1 of,bad.sh,good.sh,all 1 program,good.sh,all 1 program,good.sh,") ;;
*) fail "the page's order is $order" ;;
esac

# Two pages that tell what a sideways scroll bar looks like in this browser.
long='<div style="height:3000px'
printf '<!DOCTYPE html><meta name="viewport" content="width=device-width">%s">x</div>' "$long" >fits.html
printf '<!DOCTYPE html><meta name="viewport" content="width=device-width">%s;width:3000px">x</div>' "$long" >wide.html
for size in 1280,900 390,844; do
    for page in page fits wide; do
        browse --screenshot="$work/$page-$size.png" --window-size=$size "file://$work/$page.html" >/dev/null
    done
    cp "page-$size.png" "$out/summary-page-${size%%,*}.png"
    # A sideways scroll bar begins with its arrow in the bottom left corner,
    # over whatever the page shows there.
    "$python" - "page-$size.png" "fits-$size.png" "wide-$size.png" "$size" <<'EOF' || exit 1
import sys
from PIL import Image

def corner(name):
    image = Image.open(name).convert("RGB")
    w, h = image.size
    want = tuple(int(n) for n in sys.argv[4].split(","))
    if (w, h) != want:
        sys.exit(f"FAIL: {name} is {w}x{h}, not {want[0]}x{want[1]}")
    return [image.getpixel((x, y)) for y in range(h - 12, h) for x in range(12)]

page, fits, wide = (corner(n) for n in sys.argv[1:4])
if fits == wide:
    sys.exit("FAIL: this browser shows no sideways scroll bar to tell apart")
if page == wide:
    sys.exit(f"FAIL: the page scrolls sideways at {sys.argv[4]}")
EOF
done
echo "The page reads back whole and fits 1280 and 390 pixels: $out/summary-page-1280.png, $out/summary-page-390.png"
