"""Writes the swirl sequence that the README's preview pictures show.

A disc of particles in three spiral arms turning about the y axis, with
births over the first frames and a spin that slows; position and velocity
per particle, one PDC file per frame:

    PYTHONPATH=build/release/python /usr/bin/python3 docs/swirl.py swirl 24
"""
import os
import sys

import numpy as np
import velpo


def frame(number, particles, rng):
    """Positions and velocities of the swirl at `number` (from 1)."""
    born = int(particles * min(1.0, 0.25 + number / 16.0))
    radius = 0.3 + 5.0 * rng.beta(2.0, 5.0, born)
    arm = rng.integers(0, 3, born)
    spin = 1.0 / (1.0 + 0.04 * number)
    angle = (arm * 2 * np.pi / 3 + 1.6 * np.log(radius) + rng.normal(0, 0.22, born)
             - number * 0.15 * spin / np.sqrt(radius))
    height = rng.normal(0, 0.08, born) * np.exp(-radius / 3)
    position = np.stack([radius * np.cos(angle), height, radius * np.sin(angle)], axis=1)
    speed = spin * 2.2 * radius / (1 + radius * radius) ** 0.75
    speed = speed * (1 + rng.normal(0, 0.12, born))
    velocity = np.stack([speed * np.sin(angle), rng.normal(0, 0.05, born),
                         -speed * np.cos(angle)], axis=1)
    return {"position": position, "velocity": velocity}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "swirl"
    frames = int(sys.argv[2]) if len(sys.argv) > 2 else 24
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(7)
    for number in range(1, frames + 1):
        velpo.write(os.path.join(folder, f"swirl.{number}.pdc"), frame(number, 200000, rng))


if __name__ == "__main__":
    main()
