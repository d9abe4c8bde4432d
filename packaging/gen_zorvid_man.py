#!/usr/bin/env python3
"""Fills the options and configuration keys into zorvid(8)'s scdoc source.

The options come from `zorvid --help`, the keys and their defaults from
`zorvid --print-config`, so that the page follows the program. A key's meaning is taken
from the configuration table of server/README.md when the table has a row for it.
"""
import json
import os
import re
import subprocess
import sys


def scdoc_text(text):
    """Plain text for scdoc, with `code` spans in bold."""
    text = text.replace("\\", "\\\\").replace("*", "\\*").replace("_", "\\_")
    return re.sub(r"`([^`]*)`", r"*\1*", text)


def parse_help(help_text):
    """[(option, argument, description)] from CLI11's help."""
    options = []
    in_options = False
    for line in help_text.splitlines():
        if line.strip() == "Options:":
            in_options = True
            continue
        if not in_options or not line.strip():
            continue
        match = re.match(r"^\s{1,4}(-\S+)(?: (\S+))?(?:\s{2,}(.*))?$", line)
        if match:
            names, argument, description = match.groups()
            options.append([names, argument or "", description or ""])
        elif options:  # a description on a line of its own
            options[-1][2] = (options[-1][2] + " " + line.strip()).strip()
    return options


def readme_meanings(readme_text):
    """{key: meaning} from the rows of README tables whose first cell names keys."""
    meanings = {}
    for line in readme_text.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) < 2 or not cells[0].startswith("`"):
            continue
        for key in re.findall(r"`([^`]+)`", cells[0]):
            meanings.setdefault(key, cells[1])
    return meanings


def main():
    template, zorvid, readme, site_build, site_install, out = sys.argv[1:7]
    help_text = subprocess.run([zorvid, "--help"], check=True, capture_output=True,
                               text=True, timeout=30).stdout
    # The database's default follows the user's folders: shown by name, not as the
    # build machine's.
    env = {k: v for k, v in os.environ.items() if k != "HOME"}
    env["XDG_DATA_HOME"] = "$XDG_DATA_HOME"
    config = json.loads(subprocess.run([zorvid, "--print-config"], check=True,
                                       capture_output=True, text=True, env=env,
                                       timeout=30).stdout)
    if config.get("site") == site_build:
        config["site"] = site_install
    with open(readme, encoding="utf-8") as f:
        meanings = readme_meanings(f.read())

    options = []
    for raw, argument, description in parse_help(help_text):
        names = ", ".join("*" + scdoc_text(n) + "*" for n in raw.split(","))
        head = names + (" _" + scdoc_text(argument) + "_" if argument else "")
        entry = head + "\n\t" + scdoc_text(description) + "\n"
        # An option named like a key sets that key: its default is the key's.
        key = raw.split(",")[-1].lstrip("-")
        if key in config and "default" not in description:
            entry += "\n\tDefault: *" + scdoc_text(json.dumps(config[key])) + "*\n"
        options.append(entry)
    keys = []
    for key, value in config.items():
        entry = "*" + scdoc_text(key) + "*\n"
        if key in meanings:
            # The table's "(default)" at the end gives way to the program's own.
            meaning = re.sub(r"\s*\([^()]*\)$", "", meanings[key])
            entry += "\t" + scdoc_text(meaning) + "\n\n"
        entry += "\tDefault: *" + scdoc_text(json.dumps(value)) + "*\n"
        keys.append(entry)

    with open(template, encoding="utf-8") as f:
        page = f.read()
    page = page.replace("@OPTIONS@", "\n".join(options).rstrip("\n"))
    page = page.replace("@KEYS@", "\n".join(keys).rstrip("\n"))
    with open(out, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
