#!/usr/bin/env python3
"""Writes the capability profiles data/ini/<model>.ini, one per model of the product line.

The profiles are committed data; this script is how they are kept consistent with each other. The models are the
rows of the camera catalogue (camera/CameraCatalogue.cpp), in its order; a catalogued model without a profile below,
or a profile of a model the catalogue does not list, stops the script. Each model starts
from its family's lens, drive and picture tables and then records what sets it apart (a missing function, a
coarser gain table, a sensor that only knows 50/60 Hz shutter steps, ...). Run it from anywhere:

    python3 scripts/gen-profiles.py
"""

import copy
import json
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "ini")
CATALOGUE = os.path.join(HERE, "..", "camera", "CameraCatalogue.cpp")
CATALOGUE_ROW = re.compile(r'^\s*\{"(?P<code>[^"]*)", "(?P<name>[^"]+)", Id::\w+, Link::\w+, (?:true|false)\},$', re.M)

UNSUPPORTED = ""


def rng(lo, hi):
    return {"min": lo, "max": hi}


def lst(pairs):
    return [{label: value} for label, value in pairs]


# Iris stops, widest first. The camera counts iris codes up as the aperture opens.
IRIS_STANDARD = [("F1_8", "11"), ("F2", "10"), ("F2_4", "0F"), ("F2_8", "0E"), ("F3_4", "0D"), ("F4", "0C"),
                 ("F4_8", "0B"), ("F5_6", "0A"), ("F6_8", "09"), ("F8", "08"), ("F9_6", "07"), ("F11", "06"),
                 ("Close", "00")]
# Third-stop table of the compact sensors: no F2 (the lens opens to F2.2) and no F4.8.
IRIS_THIRDS = [("F2_2", "12"), ("F2_5", "11"), ("F2_8", "10"), ("F3_2", "0F"), ("F3_5", "0E"), ("F4", "0D"),
               ("F4_5", "0C"), ("F5", "0B"), ("F5_6", "0A"), ("F6_3", "09"), ("F7_1", "08"), ("F8", "07"),
               ("F9", "06"), ("F10", "05"), ("F11", "04"), ("Close", "00")]
# Tenth-stop table of the cinema heads; F3 and F3.0 are the same aperture under the two names operators use.
IRIS_FINE = [("F1_6", "1C"), ("F1_8", "1B"), ("F2", "1A"), ("F2_2", "19"), ("F2_5", "18"), ("F2_8", "17"),
             ("F2_9", "16"), ("F3", "15"), ("F3_0", "15"), ("F3_1", "14"), ("F3_2", "13"), ("F3_3", "12"),
             ("F3_4", "11"), ("F3_5", "10"), ("F4", "0F"), ("F4_5", "0E"), ("F4_8", "0D"), ("F5_6", "0C"),
             ("F6_3", "0B"), ("F7_1", "0A"), ("F8", "09"), ("F9", "08"), ("F10", "07"), ("F11", "06"),
             ("F13", "05"), ("F16", "04"), ("Close", "00")]

# Shutter steps, slowest first: the 60 Hz table, the mixed table of the multi-frequency sensors, and the
# 50 Hz-free table of the compact models.
SHUTTER_60 = [("1_1", "00"), ("1_2", "01"), ("1_4", "02"), ("1_8", "03"), ("1_15", "04"), ("1_30", "05"),
              ("1_60", "06"), ("1_90", "07"), ("1_100", "08"), ("1_125", "09"), ("1_180", "0A"), ("1_250", "0B"),
              ("1_350", "0C"), ("1_500", "0D"), ("1_725", "0E"), ("1_1000", "0F"), ("1_1500", "10"),
              ("1_2000", "11"), ("1_3000", "12"), ("1_4000", "13"), ("1_6000", "14"), ("1_10000", "15")]
SHUTTER_MIXED = [("1_1", "00"), ("1_2", "01"), ("1_4", "02"), ("1_8", "03"), ("1_15", "04"), ("1_25", "05"),
                 ("1_30", "06"), ("1_50", "07"), ("1_60", "08"), ("1_90", "09"), ("1_100", "0A"), ("1_120", "0B"),
                 ("1_125", "0C"), ("1_180", "0D"), ("1_250", "0E"), ("1_350", "0F"), ("1_500", "10"),
                 ("1_725", "11"), ("1_1000", "12"), ("1_1500", "13"), ("1_2000", "14"), ("1_3000", "15"),
                 ("1_4000", "16"), ("1_6000", "17"), ("1_10000", "18")]
SHUTTER_50 = [("1_1", "00"), ("1_2", "01"), ("1_3", "02"), ("1_6", "03"), ("1_12", "04"), ("1_25", "05"),
              ("1_50", "06"), ("1_75", "07"), ("1_100", "08"), ("1_120", "09"), ("1_150", "0A"), ("1_215", "0B"),
              ("1_300", "0C"), ("1_425", "0D"), ("1_600", "0E"), ("1_1000", "0F"), ("1_1250", "10"),
              ("1_1750", "11"), ("1_2500", "12"), ("1_3500", "13"), ("1_6000", "14"), ("1_10000", "15")]


def gains(step, top):
    return [("%ddB" % db, "%02X" % (db // step)) for db in range(0, top + 1, step)]


PRESET_SPEEDS = [("5_DegSec", "01"), ("25_DegSec", "04"), ("50_DegSec", "08"), ("80_DegSec", "0C"),
                 ("120_DegSec", "10"), ("160_DegSec", "14"), ("200_DegSec", "17"), ("300_DegSec", "18")]
PRESET_SPEEDS_SLOW = [("2_DegSec", "01"), ("10_DegSec", "04"), ("20_DegSec", "08"), ("40_DegSec", "0C"),
                      ("60_DegSec", "10"), ("80_DegSec", "14"), ("100_DegSec", "18")]

WB_FULL = [("Auto", "00"), ("Indoor", "01"), ("Outdoor", "02"), ("One_Push_WB", "03"), ("ATW", "04"),
           ("Manual", "05"), ("Outdoor_Auto", "06"), ("Sodium_Lamp_Auto", "07")]
WB_BASIC = [("Auto", "00"), ("Indoor", "01"), ("Outdoor", "02"), ("One_Push_WB", "03"), ("Manual", "05")]

AE_FULL = [("Auto", "00"), ("Manual", "03"), ("Shutter_Priority", "0A"), ("Iris_Priority", "0B"), ("Bright", "0D")]
AE_BASIC = [("Auto", "00"), ("Manual", "03"), ("Bright", "0D")]

GAMMA_FULL = [("Standard", "00"), ("Straight", "01"), ("Pattern", "02"), ("Movie", "03"), ("Still", "04"),
              ("Cine1", "05"), ("Cine2", "06"), ("ITU709", "07")]
GAMMA_BASIC = [("Standard", "00"), ("Straight", "01"), ("Movie", "03")]

IMAGE_FULL = [("Standard", "00"), ("Clarity", "01"), ("Vivid", "02"), ("Soft", "03"), ("Custom", "04")]
IMAGE_BASIC = [("Standard", "00"), ("Custom", "01")]

MIRROR = [("OFF", "03"), ("ON", "02")]
FLIP = [("OFF", "03"), ("ON", "02")]


def family(zoom, focus, focus_speed, iris, gain, bgain, rgain, aperture, colorgain, gamma, colorhue, pan, tilt,
           limits, memory, shutter, wb, ae, mirror, flip, image):
    return {
        "cam_zoom": {"direct": zoom, "speed": rng("1", "7")},
        "cam_focus": {"direct": focus, "speed": focus_speed},
        "cam_iris": {"list": lst(iris)},
        "cam_gain": {"list": lst(gain)},
        "cam_wb_bgain": {"direct": bgain},
        "cam_wb_rgain": {"direct": rgain},
        "cam_aperture": {"direct": aperture},
        "cam_colorgain": {"direct": colorgain},
        "cam_gamma": {"list": lst(gamma)},
        "cam_colorhue": {"direct": colorhue},
        "pan_tiltdrive": {"pan_speed": pan, "tilt_speed": tilt},
        "pan_tiltlimitset": limits,
        "cam_memory": {"list": lst(memory), "direct": rng("00", "7F")},
        "cam_shutter": {"list": lst(shutter)},
        "cam_wb": {"list": lst(wb)},
        "cam_ae": {"list": lst(ae)},
        "cam_mirror": {"list": lst(mirror) if mirror else UNSUPPORTED},
        "cam_flip": {"list": lst(flip) if flip else UNSUPPORTED},
        "cam_image_mode": {"list": lst(image) if image else UNSUPPORTED},
    }


# Limit positions: right and up count up from 0, left and down down from FFFF (negative angles).
def limits(right, left, up, down):
    return {"right": right, "left": left, "up": up, "down": down}


J57 = family(zoom=rng("0000", "4000"), focus=rng("1000", "F000"), focus_speed=rng("1", "7"), iris=IRIS_STANDARD,
             gain=gains(3, 48), bgain=rng("00", "FF"), rgain=rng("00", "FF"), aperture=rng("00", "0F"),
             colorgain=rng("00", "0E"), gamma=GAMMA_FULL, colorhue=rng("00", "0E"), pan=rng("01", "18"),
             tilt=rng("01", "14"),
             limits=limits(rng("0000", "0990"), rng("F670", "FFFF"), rng("0000", "0510"), rng("FE70", "FFFF")),
             memory=PRESET_SPEEDS, shutter=SHUTTER_MIXED, wb=WB_FULL, ae=AE_FULL, mirror=MIRROR, flip=FLIP,
             image=IMAGE_FULL)

D26G = family(zoom=rng("0000", "4000"), focus=rng("0000", "C000"), focus_speed=rng("1", "7"), iris=IRIS_STANDARD,
              gain=gains(2, 36), bgain=rng("00", "FF"), rgain=rng("00", "FF"), aperture=rng("00", "0E"),
              colorgain=rng("00", "64"), gamma=GAMMA_FULL, colorhue=rng("00", "0E"), pan=rng("01", "18"),
              tilt=rng("01", "14"),
              limits=limits(rng("0000", "0DE0"), rng("F220", "FFFF"), rng("0000", "0510"), rng("FE70", "FFFF")),
              memory=PRESET_SPEEDS, shutter=SHUTTER_60, wb=WB_FULL, ae=AE_FULL, mirror=MIRROR, flip=FLIP,
              image=IMAGE_FULL)

W38B = family(zoom=rng("0000", "4000"), focus=rng("1000", "C000"), focus_speed=rng("1", "7"), iris=IRIS_THIRDS,
              gain=gains(3, 45), bgain=rng("00", "FF"), rgain=rng("00", "FF"), aperture=rng("00", "0F"),
              colorgain=rng("00", "0E"), gamma=GAMMA_BASIC, colorhue=rng("00", "0E"), pan=rng("01", "18"),
              tilt=rng("01", "14"),
              limits=limits(rng("0000", "0990"), rng("F670", "FFFF"), rng("0000", "0510"), rng("FE70", "FFFF")),
              memory=PRESET_SPEEDS_SLOW, shutter=SHUTTER_50, wb=WB_BASIC, ae=AE_BASIC, mirror=MIRROR, flip=FLIP,
              image=IMAGE_BASIC)

HX7 = family(zoom=rng("0000", "4000"), focus=rng("0000", "0FFF"), focus_speed=rng("1", "7"), iris=IRIS_STANDARD,
             gain=gains(3, 36), bgain=rng("00", "80"), rgain=rng("00", "80"), aperture=rng("00", "0F"),
             colorgain=rng("00", "0F"), gamma=GAMMA_BASIC, colorhue=UNSUPPORTED, pan=rng("01", "18"),
             tilt=rng("01", "14"),
             limits=limits(rng("0000", "0990"), rng("F670", "FFFF"), rng("0000", "0510"), rng("FE70", "FFFF")),
             memory=PRESET_SPEEDS, shutter=SHUTTER_60, wb=WB_BASIC, ae=AE_BASIC, mirror=MIRROR, flip=None,
             image=IMAGE_BASIC)

ZQ418 = family(zoom=rng("0000", "4000"), focus=rng("0000", "0A28"), focus_speed=UNSUPPORTED, iris=IRIS_THIRDS,
               gain=gains(2, 30), bgain=rng("00", "FF"), rgain=rng("00", "FF"), aperture=rng("00", "0B"),
               colorgain=rng("00", "0E"), gamma=GAMMA_BASIC, colorhue=rng("00", "0E"), pan=rng("01", "18"),
               tilt=rng("01", "14"),
               limits=limits(rng("0000", "0990"), rng("F670", "FFFF"), UNSUPPORTED, UNSUPPORTED),
               memory=PRESET_SPEEDS_SLOW, shutter=SHUTTER_60, wb=WB_BASIC, ae=AE_BASIC, mirror=MIRROR, flip=FLIP,
               image=IMAGE_BASIC)


def variant(base, **changes):
    profile = copy.deepcopy(base)
    for key, value in changes.items():
        if value is None:
            del profile[key]
        else:
            profile[key] = value
    return profile


# The cinema heads: the finest iris, shutter and gain tables of the line, so every exposure scene finds its
# first choice.
F64 = variant(J57, cam_iris={"list": lst(IRIS_FINE)}, cam_gain={"list": lst(gains(1, 48))},
              cam_focus={"direct": rng("1000", "F000"), "speed": rng("1", "8")})

MODELS = {
    "NX-B93K": J57,
    "NX-HX7": HX7,
    "NX-ZQ418": variant(ZQ418, cam_colorhue=None),
    "NX-ZQ418S": ZQ418,
    "NX-D26G": D26G,
    "NX-D26GS": D26G,
    "NX-D28G": variant(D26G, cam_shutter={"list": lst(SHUTTER_MIXED)}),
    "NX-HX9": variant(D26G, cam_gamma={"list": lst(GAMMA_BASIC)}, cam_image_mode={"list": lst(IMAGE_BASIC)}),
    "NX-D28G4K": variant(D26G, cam_shutter={"list": lst(SHUTTER_MIXED)}, cam_gain={"list": lst(gains(1, 36))}),
    "NX-J57": J57,
    "NX-J57S": J57,
    "NX-J57U": variant(J57, cam_shutter={"list": lst(SHUTTER_60)}),
    # The small-zoom J models lack the 1/120 and 50 Hz steps and drive slower tilt.
    "NX-J20": variant(J57, cam_shutter={"list": lst(SHUTTER_60)},
                      pan_tiltdrive={"pan_speed": rng("01", "18"), "tilt_speed": rng("01", "10")}),
    "NX-J30": variant(J57, cam_shutter={"list": lst(SHUTTER_60)}),
    "NX-W38B": W38B,
    "NX-W38BS": W38B,
    "NX-W20": variant(W38B, cam_flip={"list": UNSUPPORTED}),
    # The entry model: no picture modes, a single gamma curve, no colour hue and no tilt limits.
    "NX-W12": variant(W38B, cam_image_mode={"list": UNSUPPORTED}, cam_gamma={"list": lst([("Standard", "00")])},
                      cam_colorhue={"direct": UNSUPPORTED},
                      pan_tiltlimitset=limits(rng("0000", "0990"), rng("F670", "FFFF"), UNSUPPORTED, UNSUPPORTED)),
    "NX-B93": J57,
    "NX-B60": variant(J57, cam_gain={"list": lst(gains(2, 36))}),
    "NX-B60K": variant(J57, cam_gain={"list": lst(gains(2, 36))}),
    "NX-B30": variant(J57, cam_iris={"list": lst(IRIS_THIRDS)}, cam_shutter={"list": lst(SHUTTER_60)}),
    "NX-F64": F64,
    "NX-F64K": F64,
    "NX-H12": variant(W38B, cam_ae={"list": lst(AE_FULL)}),
    "NX-H20": variant(W38B, cam_ae={"list": lst(AE_FULL)}, cam_wb={"list": lst(WB_FULL)}),
}


# One list element or one range per line keeps the files short and their diffs readable.
FLAT_OBJECT = re.compile(r'\{\n\s+("[^"\n]*": "[^"\n]*"(?:,\n\s+"[^"\n]*": "[^"\n]*")*)\n\s+\}')


def flatten(match):
    return "{" + re.sub(r",\n\s+", ", ", match.group(1)) + "}"


def catalogued_models():
    with open(CATALOGUE, encoding="utf-8") as source:
        names = [row.group("name") for row in CATALOGUE_ROW.finditer(source.read())]
    if not names:
        raise SystemExit("no model rows found in %s" % os.path.normpath(CATALOGUE))
    if set(names) != set(MODELS):
        raise SystemExit("catalogue and profiles disagree: without a profile %s, not catalogued %s"
                         % (sorted(set(names) - set(MODELS)), sorted(set(MODELS) - set(names))))
    return names


def main():
    os.makedirs(OUT, exist_ok=True)
    for model in catalogued_models():
        profile = MODELS[model]
        text = FLAT_OBJECT.sub(flatten, json.dumps(profile, indent=4))
        assert json.loads(text) == profile
        with open(os.path.join(OUT, model + ".ini"), "w", encoding="utf-8") as out:
            out.write(text + "\n")
    print("wrote %d profiles to %s" % (len(MODELS), os.path.normpath(OUT)))


if __name__ == "__main__":
    main()
