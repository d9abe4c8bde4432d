#!/usr/bin/env python3
"""Writes the service's web site into the folder given: pages, SVG images drawn here and
WAV sounds synthesised here."""

import math
import os
import struct
import sys
import wave

OUT = sys.argv[1]


def write(rel, text):
    path = os.path.join(OUT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def page(title, body, head=""):
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>%s</title>"
            "<link rel=\"stylesheet\" href=\"/site.css\">%s</head>\n<body>\n%s\n</body></html>\n"
            % (title, head, body))


# The pages are shown in the client's small portal and effect panes as well as in a
# browser: they reflow to any width instead of scrolling sideways.
CSS = """body { font-family: sans-serif; background: #f4f6fb; color: #223; margin: 1.5em;
       overflow-wrap: break-word; }
h1 { color: #2a4d8f; font-size: 2em; } a { color: #2a4d8f; } .effects img { max-width: 100%; height: auto; }
form label { display: block; margin: .4em 0; } input { margin-left: .5em; max-width: 90%; }
@media (max-width: 360px) {
  body { margin: .6em; font-size: 13px; } h1 { font-size: 1.35em; } ul { padding-left: 1.1em; }
  input { margin-left: 0; }
}
"""


def svg_effect(kind):
    """Three drawings: a sun with rays, a heart, a star field."""
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="320" height="240" viewBox="0 0 320 240">']
    if kind == 1:
        parts.append('<rect width="320" height="240" fill="#9fd3ff"/>')
        for i in range(12):
            a = i * math.pi / 6
            parts.append('<line x1="160" y1="120" x2="%.1f" y2="%.1f" stroke="#ffb300" stroke-width="6"/>'
                         % (160 + 100 * math.cos(a), 120 + 100 * math.sin(a)))
        parts.append('<circle cx="160" cy="120" r="55" fill="#ffd54f" stroke="#ff8f00" stroke-width="4"/>')
    elif kind == 2:
        parts.append('<rect width="320" height="240" fill="#fff0f4"/>')
        parts.append('<path d="M160 210 C 40 130, 70 30, 160 85 C 250 30, 280 130, 160 210 Z" '
                     'fill="#e53950" stroke="#8e1230" stroke-width="4"/>')
    else:
        parts.append('<rect width="320" height="240" fill="#0b1030"/>')
        for i in range(40):
            x = (i * 73) % 320
            y = (i * 151) % 240
            r = 1 + (i % 3)
            parts.append('<circle cx="%d" cy="%d" r="%d" fill="#fffbe0"/>' % (x, y, r))
        pts = []
        for i in range(10):
            a = -math.pi / 2 + i * math.pi / 5
            rr = 70 if i % 2 == 0 else 28
            pts.append("%.1f,%.1f" % (160 + rr * math.cos(a), 125 + rr * math.sin(a)))
        parts.append('<polygon points="%s" fill="#ffe066"/>' % " ".join(pts))
    parts.append("</svg>\n")
    return "\n".join(parts)


def wav_effect(path, kind, rate=22050):
    """A chime, a two-tone horn and a rising sweep, about a second each, 16-bit mono."""
    frames = []
    n = rate
    for i in range(n):
        t = i / rate
        if kind == 1:
            v = sum(math.sin(2 * math.pi * f * t) * math.exp(-3 * t) for f in (880, 1320, 1760)) / 3
        elif kind == 2:
            f = 440 if (int(t * 4) % 2 == 0) else 554
            v = 0.6 * math.sin(2 * math.pi * f * t)
        else:
            f = 300 + 900 * t
            v = 0.6 * math.sin(2 * math.pi * f * t) * (1 - t)
        frames.append(struct.pack("<h", int(max(-1.0, min(1.0, v)) * 30000)))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(frames))


PICS = [(1, "Sunshine"), (2, "Heart"), (3, "Starry night")]
SOUNDS = [(1, "Chime"), (2, "Horn"), (3, "Sweep")]

write("site.css", CSS)
write("index.html", page("Zorvi portal", """<h1>Welcome to Zorvi</h1>
<p>Chat rooms, effects and a live show. Log in with the Kestrivan client.</p>
<ul>
<li><a href="/ch/user/">Register a new account</a></li>
<li><a href="/ch/query/index.asp">Change your password</a></li>
<li><a href="/effect/effectlist.htm">Effect catalogue</a></li>
<li><a href="/pelbrook/">Pelbrook, our sibling service</a></li>
</ul>"""))

items = "\n".join('<li><a href="pic_%d.htm">%s</a></li>' % (n, name) for n, name in PICS)
sounds = "\n".join('<li><a href="sound_%d.htm">%s</a></li>' % (n, name) for n, name in SOUNDS)
write("effect/effectlist.htm", page("Effect catalogue", """<h1>Effects</h1>
<h2>Pictures</h2><ul class="effects">%s</ul>
<h2>Sounds</h2><ul class="effects">%s</ul>""" % (items, sounds)))
for n, name in PICS:
    write("effect/pic_%d.svg" % n, svg_effect(n))
    write("effect/pic_%d.htm" % n, page("ChoosePic",
          '<h1>%s</h1><div class="effects"><img src="pic_%d.svg" alt="%s"></div>' % (name, n, name)))
for n, name in SOUNDS:
    wav_effect(os.path.join(OUT, "effect", "sound_%d.wav" % n), n)
    write("effect/sound_%d.htm" % n, page("ChooseSound",
          '<h1>%s</h1><audio autoplay controls src="sound_%d.wav"></audio>' % (name, n)))

write("ch/user/index.html", page("Registration", """<h1>Register</h1>
<form method="post" action="/ch/user/">
<label>User name<input name="name" maxlength="32" required></label>
<label>Password<input name="password" type="password" required></label>
<label>Password again<input name="password2" type="password" required></label>
<button type="submit">Create account</button>
</form>"""))
write("ch/query/index.asp", page("Password", """<h1>Change your password</h1>
<form method="post" action="/ch/query/index.asp">
<label>User name<input name="name" maxlength="32" required></label>
<label>Old password<input name="old" type="password" required></label>
<label>New password<input name="new" type="password" required></label>
<label>New password again<input name="new2" type="password" required></label>
<button type="submit">Change</button>
</form>"""))
write("pelbrook/index.html", page("Pelbrook", """<h1>Pelbrook</h1>
<p>The sibling service of Zorvi. <a href="/">Back to Zorvi</a>.</p>"""))
