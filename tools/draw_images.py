#!/usr/bin/env python3
"""Draws the program's images from scratch.

Writes, relative to the repository root:
  data/Null Modem Drawing.gif           529 x 550  RS-232 pin table and null-modem wiring
  reference/images/telescope.png        120 x 243  telescope on a German equatorial mount
  console/images/program-icon.png        32 x  32  program icon (RGBA)
  console/images/program-icon-256.png   256 x 256  program icon, large (RGBA)

Needs Pillow (Debian: python3-pil) and the DejaVu fonts (Debian: fonts-dejavu-core).
Run from anywhere:  python3 tools/draw_images.py
"""

import math
import os
import random
import sys

try:
    from PIL import Image, ImageDraw, ImageFilter, ImageFont
except ImportError:
    # A python3 that comes first on PATH (pyenv, a venv) may lack Debian's Pillow: try the
    # system interpreter once before giving up.
    system_python = "/usr/bin/python3"
    if (os.environ.get("TQX_DRAW_REEXEC") != "1" and os.path.exists(system_python)
            and os.path.realpath(sys.executable) != os.path.realpath(system_python)):
        os.environ["TQX_DRAW_REEXEC"] = "1"
        os.execv(system_python, [system_python] + sys.argv)
    sys.exit("draw_images.py needs Pillow. On Debian: apt-get install python3-pil "
             "(then run it with /usr/bin/python3).")

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

NULL_MODEM_PATH = os.path.join(ROOT, "data", "Null Modem Drawing.gif")
TELESCOPE_PATH = os.path.join(ROOT, "reference", "images", "telescope.png")
ICON_PATH = os.path.join(ROOT, "console", "images", "program-icon.png")
ICON_256_PATH = os.path.join(ROOT, "console", "images", "program-icon-256.png")

NULL_MODEM_SIZE = (529, 550)
TELESCOPE_SIZE = (120, 243)


def font(name, size):
    path = os.path.join(FONT_DIR, name)
    if not os.path.exists(path):
        sys.exit("draw_images.py needs the DejaVu fonts (%s is missing). On Debian: "
                 "apt-get install fonts-dejavu-core" % path)
    return ImageFont.truetype(path, size)


# ---------------------------------------------------------------------------------------------
# Small geometry and shading helpers (for the supersampled drawings)
# ---------------------------------------------------------------------------------------------

def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    """Blends two colours (RGB or RGBA tuples)."""
    return tuple(int(round(lerp(a, b, t))) for a, b in zip(c0, c1))


def shade(color, k):
    """Scales a colour's brightness by k (k > 1 moves towards white)."""
    rgb = color[:3]
    if k <= 1:
        out = tuple(int(round(c * max(k, 0))) for c in rgb)
    else:
        out = tuple(int(round(c + (255 - c) * min(k - 1, 1))) for c in rgb)
    return out + tuple(color[3:])


def cylinder(canvas, p0, p1, radius, color, gloss=0.35, ambient=0.35, radius1=None,
             end_color=None):
    """Paints a shaded cylinder (or a cone frustum when radius1 is given) from p0 to p1.

    Light comes from the upper left of the picture; the shading runs across the axis.
    """
    x0, y0 = p0
    x1, y1 = p1
    length = math.hypot(x1 - x0, y1 - y0)
    r0 = radius
    r1 = radius if radius1 is None else radius1
    rmax = max(r0, r1)
    w = max(1, int(math.ceil(length)))
    h = max(2, int(math.ceil(2 * rmax)))
    strip = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    px = strip.load()
    angle = math.atan2(-(y1 - y0), x1 - x0)  # counter-clockwise, y up
    # Normal of the strip's top edge (y = 0) once rotated, in picture coordinates (y down).
    top_normal = (-math.sin(angle), -math.cos(angle))
    light = (-0.55, -0.83)  # towards the upper left
    light_side = top_normal[0] * light[0] + top_normal[1] * light[1]  # -1 .. 1
    for y in range(h):
        s = ((y + 0.5) / h) * 2 - 1  # -1 at the top edge, +1 at the bottom edge
        # Surface normal across the cylinder: angle asin(s) from the view direction.
        nz = math.sqrt(max(0.0, 1 - s * s))
        # Light in the strip's frame: "across" grows towards the bottom edge, z faces the viewer.
        lx, lz = -light_side * 0.8, 0.6
        ln = math.hypot(lx, lz)
        lx, lz = lx / ln, lz / ln
        hx, hz = lx, lz + 1.0  # half vector between the light and the view direction
        hn = math.hypot(hx, hz)
        hx, hz = hx / hn, hz / hn
        diffuse = max(0.0, s * lx + nz * lz)
        highlight = max(0.0, s * hx + nz * hz) ** 30
        k = ambient + (1 - ambient) * diffuse
        c = shade(color, k)
        c = mix(c, (255, 255, 255) + tuple(color[3:]), min(1.0, gloss * highlight * 2.2))
        for x in range(w):
            r = lerp(r0, r1, (x + 0.5) / w)
            if abs(s) * rmax <= r + 0.5:
                edge = min(1.0, (r + 0.5 - abs(s) * rmax))
                a = color[3] if len(color) > 3 else 255
                px[x, y] = c[:3] + (int(a * edge),)
    if end_color is not None:
        d = ImageDraw.Draw(strip)
        d.line([(w - 1, h / 2 - r1), (w - 1, h / 2 + r1)], fill=end_color, width=2)
    rot = strip.rotate(math.degrees(angle), resample=Image.BICUBIC, expand=True)
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    canvas.alpha_composite(rot, (int(round(cx - rot.width / 2)), int(round(cy - rot.height / 2))))


def along(p, d, t):
    return (p[0] + d[0] * t, p[1] + d[1] * t)


def unit(deg):
    """Unit vector at deg degrees above the horizontal, pointing right (picture y is down)."""
    a = math.radians(deg)
    return (math.cos(a), -math.sin(a))


def rotated_ellipse(canvas, center, rx, ry, deg, fill, outline=None, width=1):
    """Paints an ellipse whose rx axis lies deg degrees above the horizontal."""
    pad = int(max(rx, ry)) + 4
    size = 2 * pad
    layer = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    d.ellipse([pad - rx, pad - ry, pad + rx, pad + ry], fill=fill, outline=outline, width=width)
    layer = layer.rotate(deg, resample=Image.BICUBIC)
    canvas.alpha_composite(layer, (int(round(center[0] - pad)), int(round(center[1] - pad))))


def polygon(canvas, points, fill):
    layer = Image.new("RGBA", canvas.size, (0, 0, 0, 0))
    ImageDraw.Draw(layer).polygon(points, fill=fill)
    canvas.alpha_composite(layer)


# ---------------------------------------------------------------------------------------------
# Null-modem drawing (GIF): drawn at final size so the text stays crisp
# ---------------------------------------------------------------------------------------------

SIGNALS = [
    # full name, abbreviation, DE-9 pin, DB-25 pin, needed by the null-modem cable
    ("Carrier Detect", "DCD (CD)", 1, 8, False),
    ("Receive Data", "RD (RxD)", 2, 3, True),
    ("Transmit Data", "TD (TxD)", 3, 2, True),
    ("Data Terminal Ready", "DTR", 4, 20, False),
    ("Signal Ground", "GND (SG)", 5, 7, True),
    ("Data Set Ready", "DSR", 6, 6, False),
    ("Request To Send", "RTS", 7, 4, False),
    ("Clear To Send", "CTS", 8, 5, False),
    ("Ring Indicator", "RI", 9, 22, False),
]

INK = (28, 32, 40)
GRID = (150, 158, 170)
HEADER_FILL = (214, 224, 238)
STRIPE_FILL = (245, 247, 250)
HIGHLIGHT_FILL = (255, 243, 168)
TD_WIRE = (200, 50, 40)
RD_WIRE = (30, 90, 200)
GND_WIRE = (40, 40, 40)


def text_center(d, cx, y, s, f, fill=INK):
    d.text((cx, y), s, font=f, fill=fill, anchor="mm")


def draw_null_modem():
    W, H = NULL_MODEM_SIZE
    img = Image.new("RGB", (W, H), (255, 255, 255))
    d = ImageDraw.Draw(img)

    f_title = font("DejaVuSans-Bold.ttf", 15)
    f_bold = font("DejaVuSans-Bold.ttf", 12)
    f_reg = font("DejaVuSans.ttf", 12)
    f_small = font("DejaVuSans.ttf", 11)
    f_small_bold = font("DejaVuSans-Bold.ttf", 11)
    f_note = font("DejaVuSans-Oblique.ttf", 11)

    # Frame around the sheet.
    d.rectangle([3, 3, W - 4, H - 4], outline=(120, 128, 140), width=1)

    # ---- Upper part: signal table --------------------------------------------------------
    text_center(d, W // 2, 22, "RS-232 Signals and Connector Pins", f_title)

    left, right = 24, W - 25
    cols = [left, left + 196, left + 300, left + 390, right]  # Signal | Name | DE-9 | DB-25
    top = 38
    header_h = 26
    row_h = 23
    bottom = top + header_h + row_h * len(SIGNALS)

    d.rectangle([left, top, right, top + header_h], fill=HEADER_FILL)
    for i, (name, abbr, p9, p25, key) in enumerate(SIGNALS):
        y = top + header_h + i * row_h
        fill = HIGHLIGHT_FILL if key else (STRIPE_FILL if i % 2 else (255, 255, 255))
        d.rectangle([left, y, right, y + row_h], fill=fill)

    # Grid.
    for x in cols:
        d.line([(x, top), (x, bottom)], fill=GRID)
    for i in range(len(SIGNALS) + 1):
        y = top + header_h + i * row_h
        d.line([(left, y), (right, y)], fill=GRID)
    d.rectangle([left, top, right, bottom], outline=(70, 78, 92), width=2)
    d.line([(left, top + header_h), (right, top + header_h)], fill=(70, 78, 92), width=2)

    heads = ["Signal", "Name", "DE-9 pin", "DB-25 pin"]
    cy = top + header_h // 2 + 1
    d.text((cols[0] + 10, cy), heads[0], font=f_bold, fill=INK, anchor="lm")
    d.text((cols[1] + 10, cy), heads[1], font=f_bold, fill=INK, anchor="lm")
    text_center(d, (cols[2] + cols[3]) // 2, cy, heads[2], f_bold)
    text_center(d, (cols[3] + cols[4]) // 2, cy, heads[3], f_bold)

    for i, (name, abbr, p9, p25, key) in enumerate(SIGNALS):
        cy = top + header_h + i * row_h + row_h // 2 + 1
        f = f_bold if key else f_reg
        d.text((cols[0] + 10, cy), name, font=f, fill=INK, anchor="lm")
        d.text((cols[1] + 10, cy), abbr, font=f, fill=INK, anchor="lm")
        text_center(d, (cols[2] + cols[3]) // 2, cy, str(p9), f)
        text_center(d, (cols[3] + cols[4]) // 2, cy, str(p25), f)

    # Legend for the highlight.
    ly = bottom + 15
    d.rectangle([left, ly - 6, left + 18, ly + 6], fill=HIGHLIGHT_FILL, outline=GRID)
    d.text((left + 26, ly), "The three signals a null modem cable needs.",
           font=f_note, fill=INK, anchor="lm")

    sep = ly + 19
    d.line([(left, sep), (right, sep)], fill=(190, 196, 205))

    # ---- Lower part: null-modem wiring ---------------------------------------------------
    ty = sep + 20
    text_center(d, W // 2, ty, "Null Modem Cable Wiring", f_title)

    bw = 172
    lx0, lx1 = left, left + bw
    rx0, rx1 = right - bw, right
    label_y = ty + 24
    for cx, lines in (((lx0 + lx1) // 2, ["PC running the", "client software"]),
                      ((rx0 + rx1) // 2, ["PC running", "TQX Orbivo Emulator"])):
        for k, s in enumerate(lines):
            text_center(d, cx, label_y + k * 15, s, f_bold)
    text_center(d, (lx0 + lx1) // 2, label_y + 31, "(telescope control software)", f_small,
                fill=(80, 86, 96))
    text_center(d, (rx0 + rx1) // 2, label_y + 31, "(emulated hand control)", f_small,
                fill=(80, 86, 96))

    btop = label_y + 46
    strip_h = 21
    prow = 26
    pins = [("TD", "Transmit Data", 3), ("RD", "Receive Data", 2), ("GND", "Signal Ground", 5)]
    bbot = btop + strip_h + prow * len(pins)
    pin_y = [btop + strip_h + k * prow + prow // 2 for k in range(len(pins))]

    for x0, x1, pin_side in ((lx0, lx1, "right"), (rx0, rx1, "left")):
        d.rectangle([x0, btop, x1, bbot], fill=(250, 251, 253), outline=(70, 78, 92), width=2)
        d.rectangle([x0, btop, x1, btop + strip_h], fill=(62, 74, 96))
        text_center(d, (x0 + x1) // 2, btop + strip_h // 2 + 1, "DE-9 female", f_small_bold,
                    fill=(255, 255, 255))
        for k, (abbr, name, num) in enumerate(pins):
            y = pin_y[k]
            if k:
                d.line([(x0 + 6, y - prow // 2), (x1 - 6, y - prow // 2)], fill=(214, 218, 226))
            if pin_side == "right":
                d.text((x0 + 10, y + 1), abbr, font=f_bold, fill=INK, anchor="lm")
                d.text((x0 + 50, y + 1), name, font=f_small, fill=(70, 76, 86), anchor="lm")
                num_x = x1 - 22
            else:
                num_x = x0 + 22
                d.text((x0 + 44, y + 1), abbr, font=f_bold, fill=INK, anchor="lm")
                d.text((x0 + 84, y + 1), name, font=f_small, fill=(70, 76, 86), anchor="lm")
            # Pin number in a small circle (a socket).
            d.ellipse([num_x - 9, y - 9, num_x + 9, y + 9], fill=(255, 255, 255),
                      outline=(70, 78, 92), width=1)
            text_center(d, num_x, y + 1, str(num), f_small_bold)

    # Wires: drawn supersampled for smooth diagonals, then laid over the sheet.
    S = 4
    wires = Image.new("RGBA", (W * S, H * S), (0, 0, 0, 0))
    wd = ImageDraw.Draw(wires)
    ax0, ax1 = lx1, rx0  # where the wires leave the blocks
    stub = 26

    def wire(points, color, arrow_at_end):
        pts = [(x * S, y * S) for x, y in points]
        if arrow_at_end:
            # The arrow's tip stops just short of the socket pin it points at.
            (xa, ya), (xb, yb) = pts[-2], pts[-1]
            ang = math.atan2(yb - ya, xb - xa)
            tip = (xb - 4.5 * S * math.cos(ang), yb - 4.5 * S * math.sin(ang))
            ln, wdth = 10 * S, 4.5 * S
            base = (tip[0] - ln * math.cos(ang), tip[1] - ln * math.sin(ang))
            nx, ny = -math.sin(ang), math.cos(ang)
            wd.polygon([tip, (base[0] + nx * wdth, base[1] + ny * wdth),
                        (base[0] - nx * wdth, base[1] - ny * wdth)], fill=color)
            pts[-1] = (base[0] + 1.5 * S * math.cos(ang), base[1] + 1.5 * S * math.sin(ang))
        wd.line(pts, fill=color, width=int(2.2 * S), joint="curve")
        for p in pts[:-1] if arrow_at_end else pts:
            r = 1.1 * S
            wd.ellipse([p[0] - r, p[1] - r, p[0] + r, p[1] + r], fill=color)

    y_td, y_rd, y_gnd = pin_y
    # Left TD -> right RD.
    wire([(ax0, y_td), (ax0 + stub, y_td), (ax1 - stub, y_rd), (ax1, y_rd)], TD_WIRE, True)
    # Right TD -> left RD.
    wire([(ax1, y_td), (ax1 - stub, y_td), (ax0 + stub, y_rd), (ax0, y_rd)], RD_WIRE, True)
    # Ground straight through.
    wire([(ax0, y_gnd), (ax1, y_gnd)], GND_WIRE, False)
    wires = wires.resize((W, H), Image.LANCZOS)
    base = img.convert("RGBA")
    base.alpha_composite(wires)
    img = base.convert("RGB")
    d = ImageDraw.Draw(img)

    # Socket pins drawn over the wire ends.
    for x in (ax0, ax1):
        for y in pin_y:
            d.ellipse([x - 3, y - 3, x + 3, y + 3], fill=(255, 255, 255), outline=INK)

    mid = (ax0 + ax1) // 2
    text_center(d, mid, y_gnd - 9, "GND", f_small, fill=(70, 76, 86))

    ny = bbot + 16
    text_center(d, W // 2, ny, "No handshake lines (RTS/CTS, DTR/DSR/DCD) are needed.", f_small,
                fill=(70, 76, 86))
    text_center(d, W // 2, ny + 24,
                "Both ports may be on the same computer or on two different computers.", f_reg)

    assert ny + 32 < H - 6, "the drawing runs off the bottom of the sheet"
    gif = img.convert("P", palette=Image.ADAPTIVE, colors=256)
    assert gif.size == NULL_MODEM_SIZE, gif.size
    os.makedirs(os.path.dirname(NULL_MODEM_PATH), exist_ok=True)
    gif.save(NULL_MODEM_PATH, format="GIF", optimize=False)
    return gif


# ---------------------------------------------------------------------------------------------
# Telescope on a German equatorial mount (PNG), drawn 4x and reduced
# ---------------------------------------------------------------------------------------------

def draw_mounted_telescope(canvas, S, origin=(0, 0), scale=1.0, detail=True):
    """Paints a refractor on a German equatorial mount on a tripod.

    Coordinates are designed on a 120 x 243 sheet; S is the supersampling factor, and
    origin/scale place the drawing on the canvas.
    """
    ox, oy = origin

    def P(x, y):
        return ((ox + x * scale) * S, (oy + y * scale) * S)

    def R(r):
        return r * scale * S

    aluminium = (196, 200, 208, 255)
    dark_metal = (58, 62, 72, 255)
    black = (30, 32, 38, 255)
    tube_white = (236, 238, 242, 255)
    chrome = (180, 186, 196, 255)

    head = (60, 146)  # top of the tripod
    feet = [(14, 236), (106, 236)]
    rear_foot = (66, 226)

    # Rear leg first (it is behind).
    cylinder(canvas, P(*head), P(66, 190), R(3.0), shade(aluminium, 0.8))
    cylinder(canvas, P(66, 188), P(*rear_foot), R(2.1), shade(black, 1.1))

    # Spreader tray: a triangle joining the legs at two thirds of their height.
    def on_leg(foot, t):
        return (lerp(head[0], foot[0], t), lerp(head[1], foot[1], t))

    a = on_leg(feet[0], 0.55)
    b = on_leg(feet[1], 0.55)
    c = on_leg(rear_foot, 0.47)
    # Seen a little from above: the plate's top face, and its front edge below.
    polygon(canvas, [P(*a), P(*b), P(b[0], b[1] + 1.6), P(a[0], a[1] + 1.6)], (88, 94, 108, 255))
    polygon(canvas, [P(*a), P(*b), P(*c)], (160, 166, 178, 255))
    if detail:
        # Eyepiece holes in the tray.
        for k in range(3):
            ex = lerp(lerp(a[0], b[0], 0.3 + 0.2 * k), c[0], 0.3)
            ey = lerp(lerp(a[1], b[1], 0.3 + 0.2 * k), c[1], 0.3)
            rotated_ellipse(canvas, P(ex, ey), R(2.6), R(1.0), 0, (70, 74, 86, 255))

    # Front legs: upper aluminium section, lower black extension, a clamp between.
    for foot in feet:
        mid = on_leg(foot, 0.62)
        cylinder(canvas, P(*head), P(*mid), R(3.4), aluminium)
        cylinder(canvas, P(*on_leg(foot, 0.6)), P(*foot), R(2.4), shade(black, 1.3))
        cylinder(canvas, P(*on_leg(foot, 0.58)), P(*on_leg(foot, 0.65)), R(3.9), dark_metal)
        cylinder(canvas, P(*on_leg(foot, 0.96)), P(*foot), R(2.9), black)

    # Tripod head.
    cylinder(canvas, P(48, 147), P(72, 147), R(4.5), dark_metal)

    # Equatorial head: altitude base, then the polar (RA) housing tilted to the latitude.
    cylinder(canvas, P(60, 143), P(60, 133), R(7.5), dark_metal)
    ra_dir = unit(40)   # polar axis rises to the right
    ra_base = (57, 132)
    ra_top = along(ra_base, ra_dir, 22)
    cylinder(canvas, P(*along(ra_base, ra_dir, -4)), P(*ra_top), R(7.0), (232, 234, 238, 255))
    cylinder(canvas, P(*along(ra_base, ra_dir, 4)), P(*along(ra_base, ra_dir, 9)), R(7.6),
             dark_metal)
    # Latitude bolt.
    cylinder(canvas, P(52, 138), P(45, 148), R(1.2), chrome)

    # Declination axis: perpendicular to the polar axis, through its upper end.
    dec_dir = (ra_dir[1], -ra_dir[0])  # towards the lower right (counterweight side)
    dec_dir = (-dec_dir[0], -dec_dir[1]) if dec_dir[1] < 0 else dec_dir
    dec_c = along(ra_top, ra_dir, 2)
    up = (-dec_dir[0], -dec_dir[1])  # towards the telescope

    # Counterweight shaft and weight (down and to the right).
    shaft_a = along(dec_c, dec_dir, 8)
    shaft_b = along(dec_c, dec_dir, 52)
    cylinder(canvas, P(*shaft_a), P(*shaft_b), R(1.6), chrome)
    w0 = along(dec_c, dec_dir, 32)
    w1 = along(dec_c, dec_dir, 44)
    cylinder(canvas, P(*w0), P(*w1), R(10), (150, 156, 168, 255))
    cylinder(canvas, P(*along(w0, dec_dir, -1.5)), P(*w0), R(9.3), (120, 126, 138, 255))
    # Locking knob on the weight.
    knob = along(along(w0, dec_dir, 6), ra_dir, 10.5)
    cylinder(canvas, P(*along(w0, dec_dir, 6)), P(*knob), R(1.1), chrome)
    # Safety stop at the shaft's end.
    cylinder(canvas, P(*along(shaft_b, dec_dir, -2)), P(*shaft_b), R(2.6), dark_metal)

    # Declination housing.
    cylinder(canvas, P(*along(dec_c, dec_dir, 10)), P(*along(dec_c, up, 12)), R(6.5),
             (232, 234, 238, 255))
    cylinder(canvas, P(*along(dec_c, up, 2)), P(*along(dec_c, up, 6)), R(7.1), dark_metal)

    # Saddle and dovetail, then the tube in its rings, pointing up to the upper right.
    tube_dir = ra_dir  # tube parallel to the polar axis, as in the home position
    saddle_c = along(dec_c, up, 14)
    cylinder(canvas, P(*along(saddle_c, tube_dir, -10)), P(*along(saddle_c, tube_dir, 10)),
             R(3.2), dark_metal)
    tube_c = along(saddle_c, up, 11)
    dove_c = along(saddle_c, up, 3.5)
    cylinder(canvas, P(*along(dove_c, tube_dir, -20)), P(*along(dove_c, tube_dir, 20)), R(1.8),
             black)

    back = along(tube_c, tube_dir, -40)
    front = along(tube_c, tube_dir, 38)
    # Focuser and star diagonal with an eyepiece at the back.
    foc = along(back, tube_dir, -9)
    cylinder(canvas, P(*along(back, tube_dir, 1)), P(*foc), R(4.0), black)
    if detail:
        cylinder(canvas, P(*along(back, tube_dir, -3)), P(*along(along(back, tube_dir, -3), up, 8)),
                 R(1.2), chrome)
    diag = along(foc, tube_dir, -3)
    cylinder(canvas, P(*along(foc, tube_dir, 1)), P(*diag), R(3.2), dark_metal)
    ep_dir = (up[0] * 0.9 - tube_dir[0] * 0.3, up[1] * 0.9 - tube_dir[1] * 0.3)  # eyepiece up
    n = math.hypot(*ep_dir)
    ep_dir = (ep_dir[0] / n, ep_dir[1] / n)
    cylinder(canvas, P(*diag), P(*along(diag, ep_dir, 8)), R(2.6), black)
    cylinder(canvas, P(*along(diag, ep_dir, 7)), P(*along(diag, ep_dir, 10)), R(3.0),
             (70, 74, 86, 255))

    # Main tube.
    cylinder(canvas, P(*back), P(*front), R(8.5), tube_white, gloss=0.5)
    # Lens cell and dew shield.
    cell = along(front, tube_dir, 4)
    cylinder(canvas, P(*front), P(*cell), R(9.2), black)
    shield = along(cell, tube_dir, 16)
    cylinder(canvas, P(*cell), P(*shield), R(9.6), tube_white, gloss=0.5)
    # Front opening seen slightly from the side: a dark lens with a faint reflection.
    ang = math.degrees(math.atan2(-tube_dir[1], tube_dir[0]))
    rotated_ellipse(canvas, P(*shield), R(2.4), R(9.6), ang, (20, 26, 44, 255))
    if detail:
        rotated_ellipse(canvas, P(*along(shield, up, 3)), R(0.9), R(3.0), ang,
                        (90, 120, 170, 200))
    # Back cell.
    cylinder(canvas, P(*along(back, tube_dir, -1)), P(*along(back, tube_dir, 3)), R(8.8), black)

    # Tube rings with their clamp knobs.
    for t in (-13, 13):
        rc = along(tube_c, tube_dir, t)
        cylinder(canvas, P(*along(rc, tube_dir, -2)), P(*along(rc, tube_dir, 2)), R(9.4),
                 dark_metal)
        knob0 = along(rc, up, 9.4)
        cylinder(canvas, P(*knob0), P(*along(knob0, up, 3)), R(1.3), chrome)
        cylinder(canvas, P(*along(rc, up, -9)), P(*along(rc, up, -12)), R(2.0), dark_metal)

    if detail:
        # Finder scope on its bracket, on top of the tube near the back.
        fb = along(along(tube_c, tube_dir, -26), up, 8.5)
        cylinder(canvas, P(*fb), P(*along(fb, up, 5)), R(1.4), black)
        cylinder(canvas, P(*along(along(fb, tube_dir, 4), up, 0)),
                 P(*along(along(fb, tube_dir, 4), up, 5)), R(1.4), black)
        fc = along(fb, up, 7.5)
        cylinder(canvas, P(*along(fc, tube_dir, -8)), P(*along(fc, tube_dir, 12)), R(2.6),
                 (236, 238, 242, 255), gloss=0.4)
        cylinder(canvas, P(*along(fc, tube_dir, 12)), P(*along(fc, tube_dir, 15)), R(3.2), black)
        cylinder(canvas, P(*along(fc, tube_dir, -11)), P(*along(fc, tube_dir, -8)), R(1.6), black)

    # Hand control hanging from the mount on its cable.
    if detail:
        hc = (86, 186)
        cable = ImageDraw.Draw(canvas)
        pts = []
        for k in range(21):
            t = k / 20
            x = lerp(ra_base[0] + 4, hc[0], t) + math.sin(t * math.pi) * 4
            y = lerp(ra_base[1] + 6, hc[1] - 8, t) + math.sin(t * math.pi) * 9
            pts.append(P(x, y))
        cable.line(pts, fill=(20, 22, 26, 255), width=int(R(1.2)), joint="curve")
        polygon(canvas, [P(hc[0] - 4, hc[1] - 9), P(hc[0] + 4, hc[1] - 9),
                         P(hc[0] + 5, hc[1] + 9), P(hc[0] - 5, hc[1] + 9)], (34, 36, 42, 255))
        polygon(canvas, [P(hc[0] - 3, hc[1] - 7), P(hc[0] + 3, hc[1] - 7),
                         P(hc[0] + 3.2, hc[1] - 3), P(hc[0] - 3.2, hc[1] - 3)],
                (120, 200, 140, 255))
        dd = ImageDraw.Draw(canvas)
        for row in range(3):
            for col in range(3):
                bx, by = hc[0] - 2.6 + col * 2.6, hc[1] + row * 2.4
                r = R(0.6)
                cx, cy = P(bx, by)
                dd.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(200, 204, 212, 255))


def night_sky(size, S, seed=7, stars=True):
    w, h = size[0] * S, size[1] * S
    sky = Image.new("RGBA", (w, h))
    d = ImageDraw.Draw(sky)
    top = (6, 10, 26)
    bottom = (28, 38, 66)
    for y in range(h):
        d.line([(0, y), (w, y)], fill=mix(top, bottom, (y / h) ** 1.6) + (255,))
    if stars:
        rnd = random.Random(seed)
        for _ in range(38):
            x, y = rnd.uniform(0, size[0]), rnd.uniform(0, size[1] * 0.8)
            b = rnd.uniform(0.35, 1.0)
            r = (0.35 + 0.55 * b ** 2) * S
            col = mix((150, 170, 220), (255, 252, 240), b) + (int(110 + 145 * b),)
            d.ellipse([x * S - r, y * S - r, x * S + r, y * S + r], fill=col)
        # A few brighter stars with a soft glow.
        glow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        gd = ImageDraw.Draw(glow)
        for x, y in ((14, 18), (101, 11), (22, 92), (108, 64)):
            r = 4 * S
            gd.ellipse([x * S - r, y * S - r, x * S + r, y * S + r], fill=(170, 190, 255, 70))
        glow = glow.filter(ImageFilter.GaussianBlur(2.5 * S))
        sky.alpha_composite(glow)
        for x, y in ((14, 18), (101, 11), (22, 92), (108, 64)):
            r = 0.9 * S
            d.ellipse([x * S - r, y * S - r, x * S + r, y * S + r], fill=(255, 255, 250, 255))
            d.line([(x * S - 3 * S, y * S), (x * S + 3 * S, y * S)], fill=(220, 230, 255, 150),
                   width=max(1, S // 3))
            d.line([(x * S, y * S - 3 * S), (x * S, y * S + 3 * S)], fill=(220, 230, 255, 150),
                   width=max(1, S // 3))
    # Dark ground along the bottom, a gentle hill.
    pts = [(0, h)]
    for k in range(0, 41):
        x = w * k / 40
        y = (224 + 6 * math.sin(k / 40 * math.pi * 1.3 + 0.4)) * S
        pts.append((x, y))
    pts.append((w, h))
    d.polygon(pts, fill=(12, 16, 22, 255))
    return sky


def draw_telescope_png():
    S = 4
    canvas = night_sky(TELESCOPE_SIZE, S)
    draw_mounted_telescope(canvas, S)
    out = canvas.resize(TELESCOPE_SIZE, Image.LANCZOS).convert("RGB")
    assert out.size == TELESCOPE_SIZE, out.size
    os.makedirs(os.path.dirname(TELESCOPE_PATH), exist_ok=True)
    out.save(TELESCOPE_PATH, format="PNG", optimize=True)
    return out


# ---------------------------------------------------------------------------------------------
# Program icon (RGBA): a round night-sky badge with a telescope on its tripod
# ---------------------------------------------------------------------------------------------

def draw_icon(size, S, bold):
    """Draws the icon at size x size, supersampled S times.

    bold: thicker, simpler shapes for the small icon, so it reads at 32 pixels.
    """
    n = size * S
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))

    def Q(x, y):  # design units 0..100
        return (x * n / 100, y * n / 100)

    def U(v):
        return v * n / 100

    # Badge: a disc with a night-sky gradient and a light rim.
    badge = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    bd = ImageDraw.Draw(badge)
    for y in range(n):
        t = y / n
        bd.line([(0, y), (n, y)], fill=mix((16, 30, 74), (44, 82, 150), t) + (255,))
    mask = Image.new("L", (n, n), 0)
    ImageDraw.Draw(mask).ellipse([U(2), U(2), U(98), U(98)], fill=255)
    img.paste(badge, (0, 0), mask)
    d = ImageDraw.Draw(img)
    d.ellipse([U(2), U(2), U(98), U(98)], outline=(210, 224, 246, 255),
              width=int(U(4.5 if bold else 2.5)))

    # Stars.
    stars = [(22, 30, 2.4), (60, 13, 1.8), (84, 44, 1.4), (36, 15, 1.3)] if not bold else \
        [(22, 30, 4.0)]
    for x, y, r in stars:
        cx, cy = Q(x, y)
        d.ellipse([cx - U(r), cy - U(r), cx + U(r), cy + U(r)], fill=(255, 250, 220, 255))
        if not bold:
            d.line([(cx - U(r * 2.4), cy), (cx + U(r * 2.4), cy)], fill=(255, 250, 220, 160),
                   width=max(1, int(U(0.5))))
            d.line([(cx, cy - U(r * 2.4)), (cx, cy + U(r * 2.4))], fill=(255, 250, 220, 160),
                   width=max(1, int(U(0.5))))

    # Tripod.
    leg_w = 5.5 if bold else 3.0
    legc = (205, 210, 220, 255)
    head = (48, 62)
    for foot in ((28, 91), (68, 91), (49, 93)):
        if foot == (49, 93) and bold:
            continue
        cylinder(img, Q(*head), Q(*foot), U(leg_w / 2), legc, ambient=0.55)
    if not bold:
        tray = [Q(37, 77), Q(59, 77), Q(48.6, 75)]
        polygon(img, tray, (150, 156, 168, 255))

    # Mount head and counterweight.
    cylinder(img, Q(48, 63), Q(48, 54), U(5.5 if bold else 4.5), (60, 64, 76, 255))
    if not bold:
        cylinder(img, Q(50, 52), Q(66, 68), U(1.3), (180, 186, 196, 255))
        cylinder(img, Q(61, 63), Q(66, 68), U(5.5), (150, 156, 168, 255))
    else:
        cylinder(img, Q(50, 52), Q(64, 66), U(2.6), (180, 186, 196, 255))
        cylinder(img, Q(60, 62), Q(65, 67), U(7.5), (150, 156, 168, 255))

    # Tube, pointing to the upper right.
    tdir = unit(35)
    c = Q(45, 45)
    tr = U(8.5 if bold else 7.0)
    back = (c[0] - tdir[0] * U(27), c[1] - tdir[1] * U(27))
    front = (c[0] + tdir[0] * U(30), c[1] + tdir[1] * U(30))
    # Dark outline so the white tube stands out on any background.
    cylinder(img, (back[0] - tdir[0] * U(1), back[1] - tdir[1] * U(1)),
             (front[0] + tdir[0] * U(1), front[1] + tdir[1] * U(1)), tr + U(2.2 if bold else 1.4),
             (14, 18, 30, 255), gloss=0)
    cylinder(img, back, front, tr, (244, 246, 250, 255), gloss=0.15 if bold else 0.5,
             ambient=0.72 if bold else 0.5)
    # Dew shield band and front lens.
    fb = (front[0] - tdir[0] * U(9), front[1] - tdir[1] * U(9))
    cylinder(img, fb, (fb[0] + tdir[0] * U(2.6), fb[1] + tdir[1] * U(2.6)), tr + U(0.4),
             (40, 44, 56, 255))
    ang = math.degrees(math.atan2(-tdir[1], tdir[0]))
    rotated_ellipse(img, front, U(2.2), tr, ang, (24, 34, 60, 255))
    # Focuser.
    fo = (back[0] - tdir[0] * U(7), back[1] - tdir[1] * U(7))
    cylinder(img, back, fo, U(4.0 if bold else 3.2), (40, 44, 56, 255))
    # Rings.
    for t in (() if bold else (-10, 11)):
        rc = (c[0] + tdir[0] * U(t), c[1] + tdir[1] * U(t))
        cylinder(img, (rc[0] - tdir[0] * U(1.4), rc[1] - tdir[1] * U(1.4)),
                 (rc[0] + tdir[0] * U(1.4), rc[1] + tdir[1] * U(1.4)), tr + U(0.6),
                 (48, 52, 64, 255))
    # Saddle joining tube and mount.
    cylinder(img, Q(48, 54), Q(47, 49), U(3.0 if bold else 2.4), (60, 64, 76, 255))

    if not bold:
        # A 9-pin serial plug on its cable, breaking out of the badge at the bottom right: the
        # hand control's line to the computer.
        pc = (80, 82)
        pd = ImageDraw.Draw(img)
        cable = [Q(50, 60), Q(53, 71), Q(60, 80), Q(68, 83)]
        pd.line(cable, fill=(14, 18, 30, 255), width=int(U(3.4)), joint="curve")
        pd.line(cable, fill=(70, 76, 90, 255), width=int(U(2.0)), joint="curve")

        def trapezoid(top, bottom, h, dy=0.0):
            return [Q(pc[0] - top, pc[1] - h + dy), Q(pc[0] + top, pc[1] - h + dy),
                    Q(pc[0] + bottom, pc[1] + h + dy), Q(pc[0] - bottom, pc[1] + h + dy)]

        polygon(img, trapezoid(14.2, 11.4, 8.6), (14, 18, 30, 255))        # outline
        polygon(img, trapezoid(13.0, 10.4, 7.5), (208, 214, 224, 255))     # metal shell
        polygon(img, trapezoid(10.4, 8.2, 5.0), (40, 44, 58, 255))         # insulator
        for k in range(5):
            x, y = Q(pc[0] - 6.6 + k * 3.3, pc[1] - 2.0)
            r = U(1.0)
            pd.ellipse([x - r, y - r, x + r, y + r], fill=(236, 200, 100, 255))
        for k in range(4):
            x, y = Q(pc[0] - 4.95 + k * 3.3, pc[1] + 2.2)
            r = U(1.0)
            pd.ellipse([x - r, y - r, x + r, y + r], fill=(236, 200, 100, 255))

    out = img.resize((size, size), Image.LANCZOS)
    assert out.size == (size, size) and out.mode == "RGBA", (out.size, out.mode)
    return out


def draw_icons():
    os.makedirs(os.path.dirname(ICON_PATH), exist_ok=True)
    small = draw_icon(32, 8, bold=True)
    small.save(ICON_PATH, format="PNG", optimize=True)
    large = draw_icon(256, 4, bold=False)
    large.save(ICON_256_PATH, format="PNG", optimize=True)
    return small, large


def main():
    draw_null_modem()
    draw_telescope_png()
    draw_icons()
    for path, size in ((NULL_MODEM_PATH, NULL_MODEM_SIZE), (TELESCOPE_PATH, TELESCOPE_SIZE),
                       (ICON_PATH, (32, 32)), (ICON_256_PATH, (256, 256))):
        with Image.open(path) as im:
            assert im.size == size, "%s is %s, expected %s" % (path, im.size, size)
            print("%-40s %d x %d %s" % (os.path.relpath(path, ROOT), im.size[0], im.size[1],
                                        im.format))


if __name__ == "__main__":
    main()
