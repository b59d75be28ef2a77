#!/usr/bin/env python3
"""Writes the controller window's artwork under resources/images/ and lists it in resources/images.qrc.

Every image is drawn from the same few shapes and one palette (dark #474747 window, #7BB0B7 accent), so the
set stays consistent when a button is added. Each button image comes in three states: normal, pressed ("_p")
and disabled ("_d"). The SVGs are committed; run this again after changing a shape:

    python3 scripts/gen-artwork.py
"""

import math
import os
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
IMAGES = os.path.join(ROOT, "images")

ACCENT = "#7BB0B7"
DARK = "#1F2D31"

# Tile fill, tile outline, glyph colour and accent detail for each state.
STATES = {
    "": {"fill": "#525252", "stroke": "#707070", "glyph": "#FFFFFF", "detail": ACCENT},
    "_p": {"fill": ACCENT, "stroke": "#9CCBD1", "glyph": DARK, "detail": DARK},
    "_d": {"fill": "#4B4B4B", "stroke": "#575757", "glyph": "#7A7A7A", "detail": "#7A7A7A"},
}

FONT = "Arial, Helvetica, DejaVu Sans, sans-serif"


def svg(width, height, body):
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}">\n{body}</svg>\n'
    )


def tile(width, height, state, radius=6):
    s = STATES[state]
    return (
        f'  <rect x="0.5" y="0.5" width="{width - 1}" height="{height - 1}" rx="{radius}" '
        f'fill="{s["fill"]}" stroke="{s["stroke"]}" stroke-width="1"/>\n'
    )


def stroke(d, colour, width, extra=""):
    return (
        f'  <path d="{d}" fill="none" stroke="{colour}" stroke-width="{width}" '
        f'stroke-linecap="round" stroke-linejoin="round"{extra}/>\n'
    )


def fill(d, colour, extra=""):
    return f'  <path d="{d}" fill="{colour}"{extra}/>\n'


# --- Simple Mode: direction pad, 60 x 60 -------------------------------------------------------------------

PAD = 60
# An arrow pointing up around the pad's centre; the other directions are rotations of it.
ARROW = "M30 15 L42.5 30 H35 V44 H25 V30 H17.5 Z"
DIRECTIONS = {
    "Up": 0,
    "UpperRight": 45,
    "Right": 90,
    "LowerRight": 135,
    "Down": 180,
    "LowerLeft": 225,
    "Left": 270,
    "UpperLeft": 315,
}
HOUSE = "M30 15 L45 28.5 H40.5 V44 H33.5 V35.5 H26.5 V44 H19.5 V28.5 H15 Z"


def pad_arrow(angle, state):
    return svg(PAD, PAD, tile(PAD, PAD, state, 8) + fill(ARROW, STATES[state]["glyph"],
                                                        f' transform="rotate({angle} 30 30)"'))


def pad_home(state):
    return svg(PAD, PAD, tile(PAD, PAD, state, 8) + fill(HOUSE, STATES[state]["glyph"]))


# --- Simple Mode: lens buttons, 35 x 35 --------------------------------------------------------------------

LENS = 35


def zoom(sign, state):
    s = STATES[state]
    body = tile(LENS, LENS, state)
    body += f'  <circle cx="15" cy="15" r="8" fill="none" stroke="{s["glyph"]}" stroke-width="2.4"/>\n'
    body += stroke("M21 21 L27.5 27.5", s["glyph"], 3.2)
    body += stroke("M11.5 15 H18.5", s["detail"], 2.2)
    if sign == "+":
        body += stroke("M15 11.5 V18.5", s["detail"], 2.2)
    return svg(LENS, LENS, body)


def focus(sign, state):
    s = STATES[state]
    body = tile(LENS, LENS, state)
    # Corner brackets of a focusing frame, with the sign in the middle.
    brackets = "M7 12 V7 H12 M23 7 H28 V12 M28 23 V28 H23 M12 28 H7 V23"
    body += stroke(brackets, s["glyph"], 2.2)
    body += stroke("M13 17.5 H22", s["detail"], 2.6)
    if sign == "+":
        body += stroke("M17.5 13 V22", s["detail"], 2.6)
    return svg(LENS, LENS, body)


# Letters drawn as strokes so the artwork does not depend on the fonts of the machine that shows it.
LETTER_A = "M7.5 24.5 L12 10.5 L16.5 24.5 M9.2 19.5 H14.8"
LETTER_M = "M6.5 24.5 V10.5 L11.5 18 L16.5 10.5 V24.5"
LETTER_F = "M20 24.5 V10.5 H27.5 M20 17.5 H26"


def focus_mode(letters, lit, state):
    s = STATES[state]
    body = tile(LENS, LENS, state)
    colour = s["glyph"]
    if lit and state == "":
        # Auto focus on: the outline and the letters take the accent, like a lit indicator.
        body = tile(LENS, LENS, state).replace(f'stroke="{s["stroke"]}"', f'stroke="{ACCENT}"')
        colour = ACCENT
    body += stroke(letters + " " + LETTER_F, colour, 2.4)
    return svg(LENS, LENS, body)


# --- Advanced Mode: exposure scenes, 78 x 68 ---------------------------------------------------------------

SCENE_W, SCENE_H = 78, 68


def scene_indoor(s):
    body = stroke("M24 33 L39 20 L54 33 M28 30 V50 H50 V30", s["glyph"], 2.6)
    body += f'  <rect x="34.5" y="34" width="9" height="9" rx="1.5" fill="{s["detail"]}"/>\n'
    return body


def scene_motion(s):
    body = f'  <circle cx="46" cy="34" r="10" fill="none" stroke="{s["glyph"]}" stroke-width="2.6"/>\n'
    body += stroke("M20 28 H31 M16 34 H31 M20 40 H31", s["detail"], 2.6)
    return body


def scene_low_light(s):
    # A crescent: a disc with a second, offset disc cut out of it.
    body = fill("M43 18 A16 16 0 1 0 54 44 A12.5 12.5 0 1 1 43 18 Z", s["glyph"])
    body += fill("M28 20 l1.4 3.2 l3.2 1.4 l-3.2 1.4 l-1.4 3.2 l-1.4 -3.2 l-3.2 -1.4 l3.2 -1.4 Z", s["detail"])
    body += fill("M22 35 l1 2.2 l2.2 1 l-2.2 1 l-1 2.2 l-1 -2.2 l-2.2 -1 l2.2 -1 Z", s["detail"])
    return body


def scene_back_light(s):
    cx, cy = 49, 25
    rays = ""
    for k in range(8):
        a = math.radians(k * 45)
        rays += (f"M{cx + 9.5 * math.cos(a):.1f} {cy + 9.5 * math.sin(a):.1f} "
                 f"L{cx + 13.5 * math.cos(a):.1f} {cy + 13.5 * math.sin(a):.1f} ")
    body = f'  <circle cx="{cx}" cy="{cy}" r="6.5" fill="{s["detail"]}"/>\n'
    body += stroke(rays.strip(), s["detail"], 2)
    # The subject in front of the light.
    body += f'  <circle cx="35" cy="30" r="7" fill="{s["glyph"]}"/>\n'
    body += fill("M21 54 C21 44 27 39.5 35 39.5 C43 39.5 49 44 49 54 Z", s["glyph"])
    return body


SCENES = {
    "Indoor": scene_indoor,
    "Motion": scene_motion,
    "Low Light": scene_low_light,
    "Back Light": scene_back_light,
}


def scene(draw, state):
    return svg(SCENE_W, SCENE_H, tile(SCENE_W, SCENE_H, state, 8) + draw(STATES[state]))


# --- Top level: switches, check boxes, menu arrow ----------------------------------------------------------


def switch(on, disabled):
    if on:
        track, edge, knob, cx = ("#5D7F83", "#5D7F83", "#A8A8A8", 67.5) if disabled else (ACCENT, ACCENT, "#FFFFFF", 67.5)
    else:
        track, edge, knob, cx = ("#4B4B4B", "#575757", "#7A7A7A", 12.5) if disabled else ("#3A3A3A", "#707070", "#C9CACA", 12.5)
    body = (f'  <rect x="0.5" y="0.5" width="79" height="24" rx="12" fill="{track}" stroke="{edge}" '
            f'stroke-width="1"/>\n')
    body += f'  <circle cx="{cx}" cy="12.5" r="9" fill="{knob}"/>\n'
    return svg(80, 25, body)


def checkbox(state):
    if state == "_p":
        body = f'  <rect x="0.75" y="0.75" width="14.5" height="14.5" rx="3" fill="{ACCENT}" stroke="{ACCENT}" stroke-width="1.5"/>\n'
        body += stroke("M4 8.2 L6.8 11 L12 5.2", "#FFFFFF", 2)
    elif state == "_d":
        body = '  <rect x="0.75" y="0.75" width="14.5" height="14.5" rx="3" fill="#4B4B4B" stroke="#5F5F5F" stroke-width="1.5"/>\n'
    else:
        body = '  <rect x="0.75" y="0.75" width="14.5" height="14.5" rx="3" fill="#3A3A3A" stroke="#C9CACA" stroke-width="1.5"/>\n'
    return svg(16, 16, body)


def menu_arrow(disabled):
    return svg(12, 8, stroke("M1.5 1.5 L6 6 L10.5 1.5", "#7A7A7A" if disabled else "#FFFFFF", 1.8))


# --- Logos and the help picture ----------------------------------------------------------------------------


def camera_mark(scale, x, y):
    """The product mark (camera body, lens, tally wedge) as used by logo.svg, scaled and placed."""
    return (
        f'  <g transform="translate({x} {y}) scale({scale})">\n'
        f'    <rect x="2" y="6" width="30" height="24" rx="5" fill="none" stroke="{ACCENT}" stroke-width="2.5"/>\n'
        f'    <circle cx="17" cy="18" r="6.5" fill="none" stroke="{ACCENT}" stroke-width="2.5"/>\n'
        f'    <circle cx="17" cy="18" r="2.5" fill="{ACCENT}"/>\n'
        f'    <path d="M32 14 L40 10 L40 26 L32 22 Z" fill="{ACCENT}"/>\n'
        f'  </g>\n'
    )


def about_logo():
    body = camera_mark(1.5, 0, 6)
    body += (f'  <text x="74" y="36" font-family="{FONT}" font-size="28" font-weight="bold" '
             f'fill="#FFFFFF">KAVREN</text>\n')
    body += (f'  <text x="75" y="55" font-family="{FONT}" font-size="12" letter-spacing="1.5" '
             f'fill="{ACCENT}">PTZ CAMERA CONTROL</text>\n')
    return svg(234, 66, body)


def get_help():
    body = '  <rect x="1" y="1" width="76" height="99" rx="6" fill="#525252" stroke="#7BB0B7" stroke-width="2"/>\n'
    body += f'  <circle cx="39" cy="40" r="24" fill="none" stroke="{ACCENT}" stroke-width="3"/>\n'
    body += stroke("M31 33 C31 27.5 34.5 24.5 39.5 24.5 C44.5 24.5 47.5 27.5 47.5 32 C47.5 38 39.5 38.5 39.5 45.5",
                   "#FFFFFF", 4.2)
    body += '  <circle cx="39.5" cy="54" r="2.8" fill="#FFFFFF"/>\n'
    # A speech bubble: help is a conversation away.
    body += fill("M22 74 H56 A4 4 0 0 1 60 78 V87 A4 4 0 0 1 56 91 H34 L28 96 V91 H22 A4 4 0 0 1 18 87 V78 "
                 "A4 4 0 0 1 22 74 Z", ACCENT)
    body += '  <circle cx="30" cy="82.5" r="2" fill="#525252"/>\n'
    body += '  <circle cx="39" cy="82.5" r="2" fill="#525252"/>\n'
    body += '  <circle cx="48" cy="82.5" r="2" fill="#525252"/>\n'
    return svg(78, 101, body)


def main():
    files = {}
    for state in STATES:
        for name, angle in DIRECTIONS.items():
            files[f"Simple Mode/{name}{state}.svg"] = pad_arrow(angle, state)
        files[f"Simple Mode/Home{state}.svg"] = pad_home(state)
        files[f"Simple Mode/Zoom+{state}.svg"] = zoom("+", state)
        files[f"Simple Mode/Zoom-{state}.svg"] = zoom("-", state)
        files[f"Simple Mode/Focus+{state}.svg"] = focus("+", state)
        files[f"Simple Mode/Focus-{state}.svg"] = focus("-", state)
        files[f"Simple Mode/AF{state}.svg"] = focus_mode(LETTER_A, True, state)
        files[f"Simple Mode/MF{state}.svg"] = focus_mode(LETTER_M, False, state)
        for name, draw in SCENES.items():
            files[f"Advanced Mode/{name}{state}.svg"] = scene(draw, state)
        files[f"Checkbox{state}.svg"] = checkbox(state)
    for on in (True, False):
        for disabled in (False, True):
            files[f"{'ON' if on else 'OFF'}{'_d' if disabled else ''}.svg"] = switch(on, disabled)
    files["MenuArrow.svg"] = menu_arrow(False)
    files["MenuArrow_d.svg"] = menu_arrow(True)
    files["About us-logo.svg"] = about_logo()
    files["Get Help.svg"] = get_help()

    for path, text in files.items():
        full = os.path.join(IMAGES, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)

    # The resource list holds every SVG in the tree, including logo.svg, which is drawn by hand.
    listed = []
    for folder, _, names in os.walk(IMAGES):
        for name in names:
            if name.endswith(".svg"):
                listed.append(os.path.relpath(os.path.join(folder, name), ROOT).replace(os.sep, "/"))
    lines = ['<!DOCTYPE RCC>', '<RCC version="1.0">', ' <qresource prefix="/resource">']
    lines += [f"  <file>{p}</file>" for p in sorted(listed)]
    lines += [" </qresource>", "</RCC>", ""]
    with open(os.path.join(ROOT, "images.qrc"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    print(f"{len(files)} images written, {len(listed)} listed in images.qrc", file=sys.stderr)


if __name__ == "__main__":
    main()
