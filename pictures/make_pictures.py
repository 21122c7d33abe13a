#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws Setupreel's 14 window pictures and its icon into this folder.

One palette, one font (DejaVu Sans). Sizes follow the controls that show the
pictures (15 twips = 1 px). Pictures that sit on another picture (buttons,
icons) are drawn onto the very pixels of the background they sit on, so their
edges blend without needing transparency.

The icon (icons/: an SVG and PNGs of 16 to 256 px) is the title strip's reel
on its navy, with the about picture's check badge.

Run:  /usr/bin/python3 make_pictures.py [output-folder]
The output is deterministic: same Pillow and FreeType give the same bytes.
"""

import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

OUT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT = os.path.join(FONT_DIR, "DejaVuSans.ttf")
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")

SS = 4  # supersampling factor for shapes

# Palette
NAVY = (24, 52, 92)
NAVY2 = (38, 84, 140)
BLUE = (52, 120, 196)
SKY = (150, 192, 236)
PALE = (214, 229, 246)
BODY_TOP = (247, 250, 254)
BODY_BOT = (220, 232, 246)
GREEN = (44, 158, 88)
AMBER = (230, 158, 44)
RED = (204, 68, 58)
INK = (28, 38, 54)
WHITE = (255, 255, 255)
GREY = (128, 142, 160)


def twips(v):
    return round(v / 15)


def font(size, bold=False):
    return ImageFont.truetype(FONT_BOLD if bold else FONT, size)


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def vgradient(w, h, top, bottom, y0=0, y1=None):
    """w x h RGB image, colour top at row y0 to bottom at row y1."""
    y1 = h - 1 if y1 is None else y1
    img = Image.new("RGB", (w, h), top)
    d = ImageDraw.Draw(img)
    for y in range(h):
        t = 0.0 if y <= y0 else 1.0 if y >= y1 else (y - y0) / (y1 - y0)
        d.line([(0, y), (w - 1, y)], fill=mix(top, bottom, t))
    return img


def layer(w, h):
    """Transparent supersampled drawing layer for a w x h result."""
    return Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))


def down(big):
    return big.resize((big.width // SS, big.height // SS), Image.LANCZOS)


def over(base, big_layer, at=(0, 0)):
    """Composites a supersampled layer onto base (RGB) at the given offset."""
    small = down(big_layer)
    rgba = base.convert("RGBA")
    rgba.alpha_composite(small, at)
    return rgba.convert("RGB")


def S(*v):
    return [round(x * SS) for x in v]


def text_center(d, cx, cy, s, f, fill):
    d.text((cx, cy), s, font=f, fill=fill, anchor="mm")


def shadow(big_mask_layer, radius, offset, opacity):
    """Soft shadow layer from the alpha of a drawn layer."""
    a = big_mask_layer.getchannel("A")
    sh = Image.new("RGBA", big_mask_layer.size, (10, 25, 50, 0))
    a = a.point(lambda v: v * opacity // 255)
    sh.putalpha(a)
    sh = sh.filter(ImageFilter.GaussianBlur(radius * SS))
    moved = Image.new("RGBA", sh.size, (0, 0, 0, 0))
    moved.alpha_composite(sh, (round(offset[0] * SS), round(offset[1] * SS)))
    return moved


# ---------------------------------------------------------------- emblems

def draw_reel(d, cx, cy, r, body=NAVY2, rim=NAVY, hole=PALE):
    """The program's emblem: a film reel. Coordinates in final pixels."""
    d.ellipse(S(cx - r, cy - r, cx + r, cy + r), fill=rim)
    r2 = r * 0.88
    d.ellipse(S(cx - r2, cy - r2, cx + r2, cy + r2), fill=body)
    hr = r * 0.22
    for k in range(6):
        a = math.radians(90 + k * 60)
        hx, hy = cx + math.cos(a) * r * 0.55, cy - math.sin(a) * r * 0.55
        d.ellipse(S(hx - hr, hy - hr, hx + hr, hy + hr), fill=hole)
    hub = r * 0.16
    d.ellipse(S(cx - hub, cy - hub, cx + hub, cy + hub), fill=hole)
    dot = r * 0.06
    d.ellipse(S(cx - dot, cy - dot, cx + dot, cy + dot), fill=rim)


def draw_check(d, pts, width, fill):
    d.line([tuple(S(*p)) for p in pts], fill=fill, width=round(width * SS), joint="curve")
    for p in (pts[0], pts[-1]):
        rr = width / 2
        d.ellipse(S(p[0] - rr, p[1] - rr, p[0] + rr, p[1] + rr), fill=fill)


def arc_arrow(d, cx, cy, r, start, end, width, fill, head):
    """Circular arrow from angle start to end (degrees, clockwise in image space)."""
    # Pillow grows an arc's width inwards from its box: centre the stroke on r
    ro = r + width / 2
    d.arc(S(cx - ro, cy - ro, cx + ro, cy + ro), start, end, fill=fill, width=round(width * SS))
    a = math.radians(end)
    px, py = cx + r * math.cos(a), cy + r * math.sin(a)
    tx, ty = -math.sin(a), math.cos(a)  # direction of travel
    nx, ny = math.cos(a), math.sin(a)
    tip = (px + tx * head, py + ty * head)
    b1 = (px + nx * head * 0.95 - tx * head * 0.2, py + ny * head * 0.95 - ty * head * 0.2)
    b2 = (px - nx * head * 0.95 - tx * head * 0.2, py - ny * head * 0.95 - ty * head * 0.2)
    d.polygon([tuple(S(*tip)), tuple(S(*b1)), tuple(S(*b2))], fill=fill)


# ---------------------------------------------------------------- main window

MENU_W, MENU_H = twips(9105), twips(6195)  # 607 x 413
STRIP_H = 28

# Click areas (twips) of the main window and of the list editor; the glyphs sit
# where a click means the same in both windows.
CLICK_AREAS = {
    "about": [(7320, 495), (7440, 495)],
    "help": [(7800, 495), (7920, 495)],
    "minimize": [(8400, 495), (8280, 495)],
}


def glyph_boxes():
    """x ranges (px) clickable as the same action in both windows."""
    spans = {k: [(twips(x), twips(x + w)) for x, w in v] for k, v in CLICK_AREAS.items()}
    order = ["about", "help", "minimize"]
    boxes = {}
    for i, k in enumerate(order):
        lo = max(s[0] for s in spans[k])
        hi = min(s[1] for s in spans[k])
        # keep clear of the neighbours' areas in either window
        for j, other in enumerate(order):
            if j < i:
                lo = max(lo, max(s[1] for s in spans[other]))
            elif j > i:
                hi = min(hi, min(s[0] for s in spans[other]))
        boxes[k] = (lo + 1, hi - 1)
    return boxes


def menu_body():
    img = vgradient(MENU_W, MENU_H, BODY_TOP, BODY_BOT, STRIP_H, MENU_H - 1)
    big = layer(MENU_W, MENU_H)
    d = ImageDraw.Draw(big)
    # two soft waves along the bottom edge, below every control
    for k, (col, amp, base) in enumerate([((190, 212, 238, 150), 5, 398), ((160, 192, 230, 170), 4, 404)]):
        pts = [(x, base + amp * math.sin(x / 607 * math.pi * 2.2 + k * 1.3)) for x in range(0, MENU_W + 1, 2)]
        poly = [tuple(S(*p)) for p in pts] + S(MENU_W, MENU_H) + S(0, MENU_H)
        d.polygon(poly, fill=col)
    return over(img, big)


def menu_strip(img, loaded):
    img.paste(vgradient(MENU_W, STRIP_H, NAVY2, NAVY), (0, 0))
    big = layer(MENU_W, MENU_H)
    d = ImageDraw.Draw(big)
    accent = GREEN if loaded else BLUE
    d.rectangle(S(0, STRIP_H, MENU_W, STRIP_H + 2), fill=accent)
    d.rectangle(S(0, STRIP_H + 2, MENU_W, STRIP_H + 3), fill=mix(accent, BODY_TOP, 0.6))
    draw_reel(d, 15, STRIP_H / 2, 9, body=BLUE, rim=PALE, hole=NAVY)
    if loaded:
        # "list loaded" pill after the title
        x0, x1, y0, y1 = 118, 212, 6, 22
        d.rounded_rectangle(S(x0, y0, x1, y1), radius=8 * SS, fill=GREEN)
        draw_check(d, [(x0 + 8, 14), (x0 + 11, 17.5), (x0 + 17, 10)], 2.2, WHITE)
    # caption-style buttons hanging from the top edge
    boxes = glyph_boxes()
    for key, (x0, x1) in boxes.items():
        d.rounded_rectangle(S(x0, -6, x1, 16), radius=4 * SS, fill=(255, 255, 255, 38),
                            outline=(255, 255, 255, 90), width=SS)
        cx = (x0 + x1) / 2
        if key == "about":
            d.ellipse(S(cx - 1.3, 3.2, cx + 1.3, 5.8), fill=WHITE)
            d.rounded_rectangle(S(cx - 1.2, 7, cx + 1.2, 13.5), radius=SS, fill=WHITE)
        elif key == "minimize":
            d.rectangle(S(cx - 5, 11, cx + 5, 13.2), fill=WHITE)
    img = over(img, big)
    d = ImageDraw.Draw(img)
    d.text((30, STRIP_H / 2), "Setupreel", font=font(15, True), fill=WHITE, anchor="lm")
    (hx0, hx1) = boxes["help"]
    d.text(((hx0 + hx1) / 2, 8.5), "?", font=font(13, True), fill=WHITE, anchor="mm")
    if loaded:
        d.text((140, 14), "list loaded", font=font(11, True), fill=WHITE, anchor="lm")
    return img


def make_menus(body):
    top = menu_strip(body.copy(), loaded=False)
    loaded = menu_strip(body.copy(), loaded=True)
    return top, loaded


# ---------------------------------------------------------------- picture buttons

BTN_W, BTN_H = twips(2250), twips(750)  # 150 x 50
BUTTONS = [  # file, caption, Form2 top (twips), icon colour
    ("Point.gif", "Point", 1080, BLUE),
    ("Load.gif", "Load", 1920, AMBER),
    ("Install.gif", "Install", 2760, GREEN),
    ("Cancel.gif", "Cancel", 3600, RED),
    ("Exit.gif", "Exit", 4440, NAVY2),
]


def button_icon(d, kind, cx, cy, col):
    if kind == "Point":  # mouse pointer
        pts = [(cx - 4, cy - 8), (cx - 4, cy + 6), (cx - 0.5, cy + 3), (cx + 2, cy + 8.5),
               (cx + 4.5, cy + 7.5), (cx + 2, cy + 2), (cx + 6.5, cy + 2)]
        d.polygon([tuple(S(*p)) for p in pts], fill=col)
    elif kind == "Load":  # folder
        d.rounded_rectangle(S(cx - 8, cy - 6, cx - 1, cy - 2), radius=SS, fill=col)
        d.rounded_rectangle(S(cx - 8, cy - 4, cx + 8, cy + 7), radius=1.5 * SS, fill=col)
        d.rectangle(S(cx - 7, cy - 2, cx + 7, cy - 1), fill=mix(col, WHITE, 0.45))
    elif kind == "Install":  # arrow into a tray
        d.rectangle(S(cx - 1.8, cy - 8, cx + 1.8, cy + 0), fill=col)
        d.polygon([tuple(S(cx - 6, cy - 1)), tuple(S(cx + 6, cy - 1)), tuple(S(cx, cy + 5))], fill=col)
        d.line([tuple(S(cx - 8, cy + 2)), tuple(S(cx - 8, cy + 8)), tuple(S(cx + 8, cy + 8)),
                tuple(S(cx + 8, cy + 2))], fill=col, width=round(2.4 * SS), joint="curve")
    elif kind == "Cancel":  # cross
        for a, b in (((-5.5, -5.5), (5.5, 5.5)), ((-5.5, 5.5), (5.5, -5.5))):
            d.line([tuple(S(cx + a[0], cy + a[1])), tuple(S(cx + b[0], cy + b[1]))], fill=col, width=round(3 * SS))
    elif kind == "Exit":  # door with an arrow leaving it
        d.line([tuple(S(cx + 1, cy - 8)), tuple(S(cx - 7, cy - 8)), tuple(S(cx - 7, cy + 8)),
                tuple(S(cx + 1, cy + 8))], fill=col, width=round(2.4 * SS), joint="curve")
        d.rectangle(S(cx - 3, cy - 1.3, cx + 4, cy + 1.3), fill=col)
        d.polygon([tuple(S(cx + 3, cy - 5)), tuple(S(cx + 8.5, cy)), tuple(S(cx + 3, cy + 5))], fill=col)


def make_button(body, caption, top_twips, col):
    x, y = twips(6600), twips(top_twips)
    base = body.crop((x, y, x + BTN_W, y + BTN_H))
    face = layer(BTN_W, BTN_H)
    fd = ImageDraw.Draw(face)
    box = (3, 2, BTN_W - 3, BTN_H - 5)
    fd.rounded_rectangle(S(*box), radius=12 * SS, fill=NAVY)
    sh = shadow(face, 1.6, (0, 1.5), 120)
    # gradient face clipped to the rounded shape
    grad = vgradient(BTN_W * SS, BTN_H * SS, BLUE, NAVY2, box[1] * SS, box[3] * SS).convert("RGBA")
    mask = Image.new("L", face.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(S(box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1), radius=11 * SS, fill=255)
    face.paste(grad, (0, 0), mask)
    # glossy upper half
    gloss = Image.new("RGBA", face.size, (255, 255, 255, 0))
    gm = Image.new("L", face.size, 0)
    ImageDraw.Draw(gm).rounded_rectangle(S(box[0] + 2, box[1] + 2, box[2] - 2, (box[1] + box[3]) / 2),
                                         radius=10 * SS, fill=46)
    gloss.putalpha(gm)
    face.alpha_composite(gloss)
    # icon disc
    icx, icy = 26, (box[1] + box[3]) / 2
    fd = ImageDraw.Draw(face)
    fd.ellipse(S(icx - 14, icy - 14, icx + 14, icy + 14), fill=(255, 255, 255, 245))
    button_icon(fd, caption, icx, icy, col)
    out = base.convert("RGBA")
    out.alpha_composite(down(sh))
    out.alpha_composite(down(face))
    out = out.convert("RGB")
    d = ImageDraw.Draw(out)
    d.text((97 + 1, icy + 1), caption, font=font(19, True), fill=mix(NAVY, BLUE, 0.3), anchor="mm")
    d.text((97, icy), caption, font=font(19, True), fill=WHITE, anchor="mm")
    return out


# ---------------------------------------------------------------- dialogs

DLG_W, DLG_H = 400, 290


def make_dialog():
    rnd = random.Random(1961)
    base = (240, 245, 251)
    img = Image.new("RGB", (DLG_W, DLG_H), base)
    px = img.load()
    for y in range(DLG_H):
        for x in range(DLG_W):
            n = rnd.randint(-2, 2)
            # a faint linen weave: alternate soft stripes both ways
            w = ((x % 6) == 0) * -3 + ((y % 6) == 0) * -2
            px[x, y] = tuple(max(0, min(255, c + n + w)) for c in base)
    return img.filter(ImageFilter.GaussianBlur(0.45))


def make_help_icon(dialog):
    w = h = 90
    base = dialog.crop((16, 0, 16 + w, h))
    big = layer(w, h)
    d = ImageDraw.Draw(big)
    cx, cy, r = 45, 45, 36
    d.ellipse(S(cx - r, cy - r, cx + r, cy + r), fill=NAVY)
    sh = shadow(big, 2.5, (0, 2), 110)
    disc = vgradient(w * SS, h * SS, SKY, NAVY2, (cy - r) * SS, (cy + r) * SS).convert("RGBA")
    m = Image.new("L", big.size, 0)
    ImageDraw.Draw(m).ellipse(S(cx - r + 2, cy - r + 2, cx + r - 2, cy + r - 2), fill=255)
    big.paste(disc, (0, 0), m)
    d = ImageDraw.Draw(big)
    d.ellipse(S(cx - r + 2, cy - r + 2, cx + r - 2, cy + r - 2), outline=(255, 255, 255, 150), width=round(1.6 * SS))
    out = base.convert("RGBA")
    out.alpha_composite(down(sh))
    out.alpha_composite(down(big))
    out = out.convert("RGB")
    d = ImageDraw.Draw(out)
    d.text((cx + 1, cy + 2), "?", font=font(50, True), fill=NAVY, anchor="mm")
    d.text((cx, cy + 1), "?", font=font(50, True), fill=WHITE, anchor="mm")
    return out


def make_good_icon(dialog):
    w, h = twips(1095), twips(975)  # 73 x 65
    base = dialog.crop((8, 8, 8 + w, 8 + h))
    big = layer(w, h)
    d = ImageDraw.Draw(big)
    # the about box's labels start 62 px into this picture: keep the art left of them
    draw_reel(d, 28, 30, 25)
    # badge with a check mark
    bx, by, br = 47, 48, 12
    d.ellipse(S(bx - br - 2, by - br - 2, bx + br + 2, by + br + 2), fill=WHITE)
    d.ellipse(S(bx - br, by - br, bx + br, by + br), fill=GREEN)
    draw_check(d, [(bx - 6, by + 0.5), (bx - 1.7, by + 4.8), (bx + 6, by - 4.5)], 3, WHITE)
    sh = shadow(big, 2, (0, 1.5), 100)
    out = base.convert("RGBA")
    out.alpha_composite(down(sh))
    out.alpha_composite(down(big))
    return out.convert("RGB")


def make_sync_icon(dialog):
    w, h = twips(1140), twips(1020)  # 76 x 68
    # the switch dialog shows its background picture from left 240 twips
    x0 = twips(4800) - twips(240)
    base = dialog.crop((x0, 0, x0 + w, h))
    big = layer(w, h)
    d = ImageDraw.Draw(big)
    cx, cy, r = 38, 34, 22
    arc_arrow(d, cx, cy, r, 200, 335, 7, BLUE, 9)
    arc_arrow(d, cx, cy, r, 20, 155, 7, GREEN, 9)
    sh = shadow(big, 1.8, (0, 1.5), 90)
    out = base.convert("RGBA")
    out.alpha_composite(down(sh))
    out.alpha_composite(down(big))
    return out.convert("RGB")


def make_search_drive(body):
    w = h = twips(1050)  # 70 x 70
    x, y = twips(240), twips(1080)
    base = body.crop((x, y, x + w, y + h))
    big = layer(w, h)
    d = ImageDraw.Draw(big)
    # hard drive
    d.rounded_rectangle(S(4, 18, 56, 48), radius=6 * SS, fill=NAVY)
    d.rounded_rectangle(S(5.5, 19.5, 54.5, 46.5), radius=5 * SS, fill=(132, 150, 176))
    d.rounded_rectangle(S(5.5, 19.5, 54.5, 33), radius=5 * SS, fill=(168, 184, 206))
    d.ellipse(S(9, 37, 14, 42), fill=GREEN)
    for sx in range(18, 34, 4):
        d.rectangle(S(sx, 36.5, sx + 2, 42.5), fill=(96, 114, 140))
    d.rectangle(S(9, 23, 36, 25), fill=(200, 212, 228))
    # magnifier
    mx, my, mr = 45, 44, 13
    d.line([tuple(S(mx + 8, my + 8)), tuple(S(mx + 19, my + 19))], fill=NAVY, width=round(6 * SS))
    d.ellipse(S(mx + 16, my + 16, mx + 22, my + 22), fill=NAVY)
    d.ellipse(S(mx - mr - 2, my - mr - 2, mx + mr + 2, my + mr + 2), fill=NAVY)
    d.ellipse(S(mx - mr, my - mr, mx + mr, my + mr), fill=(222, 238, 255, 215))
    d.arc(S(mx - mr + 4, my - mr + 4, mx + mr - 4, my + mr - 4), 190, 260, fill=WHITE, width=round(2.2 * SS))
    sh = shadow(big, 2, (0, 1.5), 100)
    out = base.convert("RGBA")
    out.alpha_composite(down(sh))
    out.alpha_composite(down(big))
    return out.convert("RGB")


# ---------------------------------------------------------------- start-up window

def make_beginning():
    w, h = twips(6000), twips(4500)  # 400 x 300
    head = 100
    img = vgradient(w, h, WHITE, (236, 243, 251), head, h - 1)
    img.paste(vgradient(w, head, NAVY2, NAVY), (0, 0))
    big = layer(w, h)
    d = ImageDraw.Draw(big)
    d.rectangle(S(0, head, w, head + 3), fill=BLUE)
    d.rectangle(S(0, head + 3, w, head + 4), fill=mix(BLUE, WHITE, 0.6))
    # a large reel emerging from the right of the band
    draw_reel(d, 338, 50, 36, body=BLUE, rim=PALE, hole=NAVY)
    for k, (col, amp, base) in enumerate([((200, 218, 240, 150), 4, 287), ((170, 198, 232, 170), 3, 292)]):
        pts = [(x, base + amp * math.sin(x / w * math.pi * 2 + k * 1.3)) for x in range(0, w + 1, 2)]
        d.polygon([tuple(S(*p)) for p in pts] + S(w, h) + S(0, h), fill=col)
    img = over(img, big)
    d = ImageDraw.Draw(img)
    d.text((24, 50), "Setupreel", font=font(36, True), fill=WHITE, anchor="ls")
    d.text((26, 74), "Your setup programs, one after another", font=font(13), fill=SKY, anchor="ls")
    return img


# ---------------------------------------------------------------- busy spinner

def make_busy(bg):
    size, frames, dots = 32, 12, 12
    shades = 24
    # fixed palette: background first (transparent), then bg..dot shades
    pal_cols = [bg] + [mix(bg, NAVY2, (i + 1) / shades) for i in range(shades)]
    pal = []
    for c in pal_cols:
        pal += list(c)
    pal += [0, 0, 0] * (256 - len(pal_cols))
    palimg = Image.new("P", (1, 1))
    palimg.putpalette(pal)
    out = []
    for f in range(frames):
        big = Image.new("RGB", (size * SS, size * SS), bg)
        d = ImageDraw.Draw(big)
        for k in range(dots):
            age = (f - k) % dots  # 0 = newest
            t = max(0.12, 1 - age / (dots * 0.85))
            a = math.radians(-90 + k * 360 / dots)
            cx, cy = 16 + 11 * math.cos(a), 16 + 11 * math.sin(a)
            r = 1.6 + 1.4 * t
            d.ellipse(S(cx - r, cy - r, cx + r, cy + r), fill=mix(bg, NAVY2, t))
        small = down(big)
        p = small.quantize(palette=palimg, dither=Image.Dither.NONE)
        out.append(p)
    return out


# ---------------------------------------------------------------- program icon

ICON_ID = "org.setupreel.Setupreel"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
ICON_BOX = 256  # the design grid; the SVG's view box


def icon_layout(px):
    """Where the icon's parts lie at px pixels, in that size's pixels.

    The large sizes are the design grid scaled; the small ones are laid out on
    whole pixels of their own with fewer parts (three reel holes, no hub dot,
    no border light, no shadow), so they stay sharp instead of blurring."""
    k = px / ICON_BOX
    full = {
        "tile": (16 * k, 16 * k, 240 * k, 240 * k), "tile_r": 44 * k,
        "reel": (120 * k, 120 * k), "reel_r": 84 * k, "rim": 84 * k * 0.12,
        "holes": 6, "hole_r": 84 * k * 0.22, "hole_at": 84 * k * 0.55,
        "hub_r": 84 * k * 0.16, "dot_r": 84 * k * 0.06,
        "badge": (186 * k, 186 * k), "badge_r": 42 * k, "ring": 8 * k, "check_w": 10.5 * k,
        "light": 4 * k, "shadow": px >= 48,
    }
    if px >= 48:
        return full
    if px >= 32:
        full.update(dot_r=0, light=0, tile=(1, 1, 31, 31), tile_r=6, reel=(15, 15), reel_r=11, rim=1.5,
                    hole_r=2.4, hole_at=6.1, hub_r=1.8, badge=(24, 24), badge_r=5.5, ring=1.5, check_w=1.6)
        return full
    if px >= 22:
        o = (px - 22) / 2  # 24 keeps 22's drawing, centred
        full.update(dot_r=0, light=0, tile=(o + 1, o + 1, o + 21, o + 21), tile_r=4, reel=(o + 10, o + 10),
                    reel_r=8, rim=1.2, holes=3, hole_r=2.1, hole_at=4.3, hub_r=1.2,
                    badge=(o + 16.5, o + 16.5), badge_r=4, ring=1, check_w=1.3)
        return full
    full.update(dot_r=0, light=0, tile=(0, 0, 16, 16), tile_r=3, reel=(7, 7), reel_r=6, rim=1,
                holes=3, hole_r=1.4, hole_at=2.9, hub_r=0, badge=(12, 12), badge_r=3.5, ring=1, check_w=1.4)
    return full


def icon_holes(lay):
    cx, cy = lay["reel"]
    n = lay["holes"]
    for i in range(n):
        a = math.radians(90 + i * 360 / n)
        yield cx + math.cos(a) * lay["hole_at"], cy - math.sin(a) * lay["hole_at"]


def icon_check(lay):
    """The badge's check mark: the about picture's, scaled to the badge."""
    bx, by = lay["badge"]
    f = lay["badge_r"] / 12
    return [(bx - 6 * f, by + 0.5 * f), (bx - 1.7 * f, by + 4.8 * f), (bx + 6 * f, by - 4.5 * f)]


def disc(d, cx, cy, r, fill):
    d.ellipse(S(cx - r, cy - r, cx + r, cy + r), fill=fill)


def make_icon(px):
    lay = icon_layout(px)
    x0, y0, x1, y1 = lay["tile"]
    # the tile: the title strip's navy gradient in the shape of a rounded square
    grad = vgradient(px * SS, px * SS, NAVY2, NAVY, round(y0 * SS), round(y1 * SS)).convert("RGBA")
    mask = Image.new("L", grad.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(S(x0, y0, x1, y1), radius=lay["tile_r"] * SS, fill=255)
    img = layer(px, px)
    img.paste(grad, (0, 0), mask)
    if lay["light"]:
        # on a layer of its own: drawing a translucent colour replaces pixels
        w = lay["light"]
        light = layer(px, px)
        ImageDraw.Draw(light).rounded_rectangle(S(x0 + w / 2, y0 + w / 2, x1 - w / 2, y1 - w / 2),
                                                radius=(lay["tile_r"] - w / 2) * SS,
                                                outline=(255, 255, 255, 46), width=round(w * SS))
        img.alpha_composite(light)
    # the reel and the badge as in the title strip and the about picture
    art = layer(px, px)
    a = ImageDraw.Draw(art)
    cx, cy = lay["reel"]
    r = lay["reel_r"]
    disc(a, cx, cy, r, PALE)
    disc(a, cx, cy, r - lay["rim"], BLUE)
    for hx, hy in icon_holes(lay):
        disc(a, hx, hy, lay["hole_r"], NAVY)
    if lay["hub_r"]:
        disc(a, cx, cy, lay["hub_r"], NAVY)
    if lay["dot_r"]:
        disc(a, cx, cy, lay["dot_r"], PALE)
    bx, by = lay["badge"]
    disc(a, bx, by, lay["badge_r"] + lay["ring"], WHITE)
    disc(a, bx, by, lay["badge_r"], GREEN)
    draw_check(a, icon_check(lay), lay["check_w"], WHITE)
    if lay["shadow"]:
        img.alpha_composite(shadow(art, px / 64, (0, px / 96), 110))
    img.alpha_composite(art)
    return down(img)


def icon_svg():
    """The scalable icon: the largest PNG's drawing in vector form."""
    lay = icon_layout(ICON_BOX)
    x0, y0, x1, y1 = lay["tile"]
    cx, cy = lay["reel"]
    bx, by = lay["badge"]
    w = lay["light"]

    def n(v):
        return ("%.2f" % v).rstrip("0").rstrip(".")

    def rgb(c):
        return "#%02x%02x%02x" % c

    def circle(x, y, r, fill, extra=""):
        return '<circle cx="%s" cy="%s" r="%s" fill="%s"%s/>' % (n(x), n(y), n(r), rgb(fill), extra)

    holes = "\n    ".join(circle(hx, hy, lay["hole_r"], NAVY) for hx, hy in icon_holes(lay))
    check = " ".join("%s,%s" % (n(x), n(y)) for x, y in icon_check(lay))
    # the gradient spans the tile's own box, from its top to its bottom
    return """<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="{box}" height="{box}" viewBox="0 0 {box} {box}">
  <title>Setupreel</title>
  <defs>
    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="{navy2}"/>
      <stop offset="1" stop-color="{navy}"/>
    </linearGradient>
    <filter id="shadow" x="-10%" y="-10%" width="130%" height="130%">
      <feGaussianBlur in="SourceAlpha" stdDeviation="{blur}"/>
      <feOffset dy="{drop}" result="blurred"/>
      <feFlood flood-color="#0a1932" flood-opacity="0.43"/>
      <feComposite in2="blurred" operator="in"/>
      <feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge>
    </filter>
  </defs>
  <rect x="{x0}" y="{y0}" width="{tw}" height="{th}" rx="{tr}" fill="url(#tile)"/>
  <rect x="{lx}" y="{ly}" width="{lw}" height="{lh}" rx="{lr}" fill="none" stroke="#ffffff" stroke-opacity="0.18" stroke-width="{w}"/>
  <g filter="url(#shadow)">
    {rim}
    {body}
    {holes}
    {hub}
    {dot}
    {ring}
    {badge}
    <polyline points="{check}" fill="none" stroke="#ffffff" stroke-width="{cw}" stroke-linecap="round" stroke-linejoin="round"/>
  </g>
</svg>
""".format(box=ICON_BOX, x0=n(x0), y0=n(y0), tw=n(x1 - x0), th=n(y1 - y0), tr=n(lay["tile_r"]),
           navy2=rgb(NAVY2), navy=rgb(NAVY), blur=n(ICON_BOX / 64), drop=n(ICON_BOX / 96),
           lx=n(x0 + w / 2), ly=n(y0 + w / 2), lw=n(x1 - x0 - w), lh=n(y1 - y0 - w), lr=n(lay["tile_r"] - w / 2),
           w=n(w), rim=circle(cx, cy, lay["reel_r"], PALE), body=circle(cx, cy, lay["reel_r"] - lay["rim"], BLUE),
           holes=holes, hub=circle(cx, cy, lay["hub_r"], NAVY), dot=circle(cx, cy, lay["dot_r"], PALE),
           ring=circle(bx, by, lay["badge_r"] + lay["ring"], WHITE), badge=circle(bx, by, lay["badge_r"], GREEN),
           check=check, cw=n(lay["check_w"]))


def save_icons(out):
    folder = os.path.join(out, "icons")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, ICON_ID + ".svg"), "w", encoding="utf-8", newline="\n") as f:
        f.write(icon_svg())
    for px in ICON_SIZES:
        os.makedirs(os.path.join(folder, str(px)), exist_ok=True)
        make_icon(px).save(os.path.join(folder, str(px), ICON_ID + ".png"), "PNG", optimize=False)


# ---------------------------------------------------------------- output

def save_jpg(img, name):
    img.save(os.path.join(OUT, name), "JPEG", quality=93, subsampling=0, optimize=False)


def save_gif(img, name):
    p = img.convert("P", palette=Image.Palette.ADAPTIVE, colors=255, dither=Image.Dither.NONE)
    p.save(os.path.join(OUT, name), "GIF", optimize=False)


def main():
    os.makedirs(OUT, exist_ok=True)
    body = menu_body()
    top, loaded = make_menus(body)
    save_jpg(top, "Top Menu2.jpg")
    save_jpg(loaded, "LoadedMenu.jpg")
    dialog = make_dialog()
    save_jpg(dialog, "Dialog1.jpg")
    save_jpg(make_help_icon(dialog), "Help and Support.jpg")
    save_jpg(make_good_icon(dialog), "Good.jpg")
    save_jpg(make_beginning(), "Begining.jpg")
    for name, caption, top_twips, col in BUTTONS:
        save_gif(make_button(body, caption, top_twips, col), name)
    save_gif(make_sync_icon(dialog), "MOBSYNC.gif")
    save_gif(make_search_drive(body), "Search Drive.gif")
    # the list editor's spinner sits on the light body of its window
    frames = make_busy(body.getpixel((300, 200)))
    frames[0].save(os.path.join(OUT, "busy.gif"), "GIF", save_all=True, append_images=frames[1:],
                   duration=80, loop=0, transparency=0, disposal=2, optimize=False)
    save_icons(OUT)


if __name__ == "__main__":
    main()
