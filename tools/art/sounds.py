"""The game's sounds, synthesised: each effect shaped for its event, and a looping tune. Seeded, so the same
script gives the same samples; written as MP3 through libsndfile."""
import ctypes
import math
import os
import random
import sys

from art.printable import printable

RATE = 22050
SF_FORMAT_MP3 = 0x230000 | 0x0082  # MPEG layer III through libsndfile's LAME encoder
SFM_WRITE = 0x20


def note(name):
    """A note's frequency: "C5", "F#4"..."""
    steps = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    base = steps[name[0]] + (1 if "#" in name else 0)
    octave = int(name[-1])
    return 440.0 * 2 ** ((base + 12 * (octave - 4)) / 12)


class Track:
    def __init__(self, seconds):
        self.samples = [0.0] * int(seconds * RATE)

    def add(self, start, voice):
        first = int(start * RATE)
        for i, value in enumerate(voice):
            if first + i < len(self.samples):
                self.samples[first + i] += value

    def pcm(self, gain=1.0):
        peak = max(1e-9, max(abs(v) for v in self.samples))
        scale = min(gain, 0.9 / peak) * 32767
        return [int(max(-32767, min(32767, v * scale))) for v in self.samples]


def tone(freq, seconds, attack=0.005, decay=None, harmonics=((1, 1.0),), glide=None, vibrato=0.0, amp=1.0):
    """A note: a sum of harmonics under an attack and an exponential decay; glide sweeps to another pitch."""
    count = int(seconds * RATE)
    decay = decay or seconds / 3
    out = []
    phase = 0.0
    for i in range(count):
        t = i / RATE
        f = freq if glide is None else freq * (glide / freq) ** (t / seconds)
        if vibrato:
            f *= 1 + vibrato * math.sin(2 * math.pi * 5.5 * t)
        phase += 2 * math.pi * f / RATE
        env = min(1.0, t / attack) * math.exp(-t / decay) * min(1.0, (seconds - t) / 0.01)
        out.append(amp * env * sum(a * math.sin(k * phase) for k, a in harmonics))
    return out


def noise(seconds, seed, decay, smooth=0.0, amp=1.0, attack=0.002):
    """Seeded noise; `smooth` between 0 and 1 darkens it."""
    rng = random.Random(seed)
    out, last = [], 0.0
    for i in range(int(seconds * RATE)):
        t = i / RATE
        last = smooth * last + (1 - smooth) * rng.uniform(-1, 1)
        out.append(amp * last * min(1.0, t / attack) * math.exp(-t / decay))
    return out


BELL = ((1, 1.0), (2, 0.35), (3, 0.12), (4.2, 0.08))
PLUCK = ((1, 1.0), (2, 0.5), (3, 0.25), (4, 0.12))
SOFT = ((1, 1.0), (2, 0.15))


def pop():
    """A bubble popping: a short upward blip with a click."""
    t = Track(0.16)
    t.add(0, tone(520, 0.12, 0.002, 0.035, SOFT, glide=1250))
    t.add(0, noise(0.02, 1, 0.004, 0.3, 0.5))
    return t


def combo(level):
    """A rising arpeggio, longer and higher for the bigger combos, ending in a shimmer."""
    notes = [["C5", "E5", "G5"], ["C5", "E5", "G5", "C6"], ["C5", "E5", "G5", "C6", "E6"]][level - 1]
    t = Track(0.2 + 0.085 * len(notes) + 0.35 * level)
    for k, name in enumerate(notes):
        t.add(k * 0.085, tone(note(name), 0.3, 0.004, 0.12, BELL, amp=0.8))
    end = len(notes) * 0.085
    for name in (["C6", "E6", "G6"] if level > 1 else ["G5"]):
        t.add(end, tone(note(name), 0.25 + 0.3 * level, 0.01, 0.1 + 0.12 * level, BELL, vibrato=0.004, amp=0.5))
    if level == 3:
        for k in range(6):
            t.add(end + 0.05 * k, tone(note("C7") * (1 + 0.06 * k), 0.12, 0.002, 0.04, SOFT, amp=0.25))
    return t


def prop_select():
    """Arming a prop: a crisp two-note button click."""
    t = Track(0.2)
    t.add(0, tone(note("A5"), 0.07, 0.002, 0.03, PLUCK, amp=0.8))
    t.add(0.06, tone(note("E6"), 0.12, 0.002, 0.05, PLUCK, amp=0.8))
    return t


def prop_bomb():
    """A bomb: a low thump under a burst of rumbling noise."""
    t = Track(0.6)
    t.add(0, tone(110, 0.5, 0.003, 0.16, SOFT, glide=38))
    t.add(0, noise(0.55, 2, 0.14, 0.82, 1.3))
    t.add(0, noise(0.05, 3, 0.01, 0.1, 0.6))
    return t


def prop_paint():
    """Paint: a brush swish rising into a sparkle."""
    t = Track(0.5)
    t.add(0, noise(0.22, 4, 0.09, 0.55, 0.5, attack=0.06))
    for k, name in enumerate(["E6", "G#6", "B6"]):
        t.add(0.12 + 0.06 * k, tone(note(name), 0.25, 0.003, 0.08, BELL, amp=0.5))
    return t


def prop_rainbow():
    """Rearranging: a quick shuffle of notes up and down the scale."""
    t = Track(0.75)
    rng = random.Random(6)
    scale = ["C5", "D5", "E5", "G5", "A5", "C6", "D6", "E6"]
    for k in range(14):
        t.add(k * 0.04, tone(note(rng.choice(scale)), 0.09, 0.002, 0.04, PLUCK, amp=0.55))
    t.add(0.56, tone(note("C6"), 0.18, 0.003, 0.07, BELL, amp=0.6))
    return t


def ready_go():
    """Level start: two short beeps, then a long higher one: ready, go."""
    t = Track(1.0)
    for k in range(2):
        t.add(k * 0.25, tone(note("A5"), 0.12, 0.003, 0.08, SOFT, amp=0.6))
    t.add(0.5, tone(note("A6"), 0.45, 0.003, 0.25, SOFT, amp=0.7))
    return t


def next_game():
    """The target is reached: a fanfare and a chord, with fireworks crackling over it."""
    t = Track(1.9)
    for k, name in enumerate(["C5", "E5", "G5"]):
        t.add(k * 0.12, tone(note(name), 0.2, 0.005, 0.1, PLUCK, amp=0.7))
    for name in ["C5", "E5", "G5", "C6"]:
        t.add(0.36, tone(note(name), 1.2, 0.01, 0.5, BELL, vibrato=0.003, amp=0.45))
    rng = random.Random(7)
    for k in range(9):
        start = 0.5 + k * 0.13 + rng.uniform(0, 0.05)
        t.add(start, noise(0.12, 10 + k, 0.03, 0.2, 0.35))
        t.add(start + 0.02, tone(rng.choice([1800, 2200, 2600]), 0.08, 0.002, 0.02, SOFT, amp=0.2))
    return t


def music():
    """The tune: eight bars of C, Am, F, G at 100 beats a minute; soft chords, a bass and a plucked melody.
    Every note ends inside the loop, so it joins itself without a click."""
    beat = 0.6
    bars = [("C4", "E4", "G4"), ("A3", "C4", "E4"), ("F3", "A3", "C4"), ("G3", "B3", "D4")] * 2
    bass = ["C3", "A2", "F2", "G2"] * 2
    melody = [["E5", "G5", "C6", "G5"], ["A5", "E5", "C5", "E5"], ["F5", "A5", "C6", "A5"], ["G5", "B5", "D6", "B5"],
              ["E5", "D5", "C5", "E5"], ["A5", "C6", "A5", "E5"], ["F5", "E5", "D5", "C5"], ["D5", "G5", "B4", "D5"]]
    t = Track(len(bars) * 4 * beat)
    for bar, chord in enumerate(bars):
        start = bar * 4 * beat
        for name in chord:
            t.add(start, tone(note(name), 4 * beat - 0.05, 0.15, 1.6, SOFT, vibrato=0.002, amp=0.16))
        for k in range(2):
            t.add(start + 2 * k * beat, tone(note(bass[bar]), 2 * beat - 0.05, 0.01, 0.5, PLUCK, amp=0.3))
        for k, name in enumerate(melody[bar]):
            t.add(start + k * beat, tone(note(name), beat - 0.03, 0.004, 0.22, PLUCK, amp=0.24))
    return t


SOUNDS = {
    "Music/bgm.mp3": lambda: music().pcm(0.7),
    "Music/readygo.mp3": lambda: ready_go().pcm(),
    "Music/pop.mp3": lambda: pop().pcm(),
    "Music/combo_1.mp3": lambda: combo(1).pcm(),
    "Music/combo_2.mp3": lambda: combo(2).pcm(),
    "Music/combo_3.mp3": lambda: combo(3).pcm(),
    "Music/propselect.mp3": lambda: prop_select().pcm(),
    "Music/propbomb.mp3": lambda: prop_bomb().pcm(),
    "Music/proppaint.mp3": lambda: prop_paint().pcm(),
    "Music/proprainbow.mp3": lambda: prop_rainbow().pcm(),
    "Music/nextgame.mp3": lambda: next_game().pcm(),
}


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def write_sounds(out):
    sndfile = ctypes.CDLL("libsndfile.so.1")
    sndfile.sf_open.restype = ctypes.c_void_p
    sndfile.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
    sndfile.sf_writef_short.restype = ctypes.c_int64
    sndfile.sf_writef_short.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_short), ctypes.c_int64]
    sndfile.sf_close.argtypes = [ctypes.c_void_p]
    for name, make in SOUNDS.items():
        path = os.path.join(out, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        info = SfInfo(0, RATE, 1, SF_FORMAT_MP3, 0, 0)
        handle = sndfile.sf_open(path.encode(), SFM_WRITE, ctypes.byref(info))
        if not handle:
            sys.exit("make_assets: libsndfile cannot write MP3 to %s" % printable(path))
        samples = make()
        frames = (ctypes.c_short * len(samples))(*samples)
        written = sndfile.sf_writef_short(handle, frames, len(samples))
        sndfile.sf_close(handle)
        if written != len(samples):
            sys.exit("make_assets: short write to %s" % printable(path))
