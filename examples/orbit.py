#!/usr/bin/env python3
"""Writes a kx scene in which the camera circles an imported model.

    examples/orbit.py MODEL SCENE [--importer PROGRAM]

The model (any file kxrender-import reads) is imported with --fit, so it
fills the cube from -1 to 1, and put into one object definition; then come
48 frames, each with the camera a step further round the circle and a world
that lights the model and draws one instance of it. Render the scene with
`kxrender SCENE`: it writes NAME0001.png to NAME0048.png, NAME being the
scene's file name without .kx.

The scene format has no variables or loops: a script like this one writes
out every frame instead. Change the numbers below to taste.
"""

import argparse
import math
import os
import shutil
import subprocess
import sys

FRAMES = 48          # frames in one turn
WIDTH, HEIGHT = 320, 240
RADIUS = 4.0         # of the camera's circle, round the y axis
LIFT = 1.5           # the camera's height above the model's centre
FIELD_OF_VIEW = 45   # degrees, top of the picture to the bottom

# Lights go into every world: a world starts with no lights but a full
# white ambient one, which would show the model flat at full colour.
LIGHTS = """AmbientLight 1 1 1 0.2
FarLight -1 -2 -1  1 1 1  0.9
FarLight 1 0.5 1  0.5 0.5 0.6  0.4
"""


def default_importer():
    """kxrender-import of this checkout's build, else the one on the PATH."""
    built = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "build", "kxrender-import")
    if os.access(built, os.X_OK):
        return os.path.normpath(built)
    return shutil.which("kxrender-import") or "kxrender-import"


def import_model(importer, model, scene):
    """The model as scene commands. The importer writes into the scene's
    folder, so that the texture names it writes are found from there."""
    part = scene + ".import.tmp"
    try:
        done = subprocess.run([importer, "--fit", "-o", part, model])
    except OSError as e:
        sys.exit(f"orbit.py: cannot run {importer}: {e.strerror}")
    if done.returncode != 0:
        sys.exit(1)  # the importer has said why
    with open(part) as f:
        text = f.read()
    os.remove(part)
    return text


def orbit(name, model_text):
    lines = [
        f"# {FRAMES} frames of a camera orbit, written by examples/orbit.py",
        f'Display "{name}" "PNG" "rgb"',
        f"Format {WIDTH} {HEIGHT}",
        f"CameraFOV {FIELD_OF_VIEW}",
        "CameraAt 0 0 0",
        "CameraUp 0 1 0",
        'ObjectBegin "model"',
        model_text.rstrip("\n"),
        "ObjectEnd",
    ]
    for frame in range(1, FRAMES + 1):
        turn = 2 * math.pi * (frame - 1) / FRAMES
        x, z = RADIUS * math.sin(turn), RADIUS * math.cos(turn)
        lines += [
            f"FrameBegin {frame}",
            f"CameraEye {x:.4f} {LIFT} {z:.4f}",
            "WorldBegin",
            LIGHTS.rstrip("\n"),
            'ObjectInstance "model"',
            "WorldEnd",
            "FrameEnd",
        ]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description="Writes a kx scene of a camera orbit around a model.")
    parser.add_argument("model", help="the model file to import")
    parser.add_argument("scene", help="the scene file to write (NAME.kx renders as NAME0001.png ...)")
    parser.add_argument("--importer", default=default_importer(), help="the kxrender-import program")
    args = parser.parse_args()
    name = os.path.splitext(os.path.basename(args.scene))[0]
    text = orbit(name, import_model(args.importer, args.model, args.scene))
    with open(args.scene, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
