#!/usr/bin/python3
"""Derives the panel's text font "Prototype" from DejaVu Sans.

The panel draws every text with one family name, independent of the fonts of
the machine it runs on. DejaVu Sans (Debian package fonts-dejavu-core) is
freely licensed; its licence allows modified copies under a new name, so the
glyphs for Latin scripts (German umlauts and typographic signs included) are
kept and the family is renamed.

    /usr/bin/python3 gui/resources/make_font.py [source.ttf]
"""
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
TARGET = os.path.join(HERE, "font", "prototype.ttf")
FAMILY = "Prototype"

# Basic Latin to Latin Extended-B, punctuation, currency, letter-like symbols,
# arrows and the mathematical operators used in value texts.
UNICODES = (list(range(0x20, 0x250)) + list(range(0x2000, 0x2070))
            + list(range(0x20A0, 0x20C0)) + list(range(0x2100, 0x2150))
            + list(range(0x2190, 0x2200)) + list(range(0x2200, 0x2300))
            + [0x25A0, 0x25CF, 0xFFFD])


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else SOURCE
    font = TTFont(source)

    options = subset.Options()
    options.layout_features = ["kern", "liga"]
    options.name_IDs = ["*"]
    options.name_legacy = True
    options.name_languages = ["*"]
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=UNICODES)
    subsetter.subset(font)

    names = font["name"]
    style = names.getDebugName(2) or "Book"
    # Copyright (0) and trademark (7) stay as the licence demands; every
    # name a font database matches on becomes the new family.
    renamed = {
        1: FAMILY,
        3: FAMILY + " " + style,
        4: FAMILY if style in ("Book", "Regular") else FAMILY + " " + style,
        6: FAMILY + "-" + style.replace(" ", ""),
        16: FAMILY,
    }
    for record in list(names.names):
        if record.nameID in renamed:
            names.setName(renamed[record.nameID], record.nameID,
                          record.platformID, record.platEncID, record.langID)
    names.names = [r for r in names.names if r.nameID not in (17, 21, 22)]
    font.save(TARGET)
    print("wrote", TARGET, os.path.getsize(TARGET), "bytes")


if __name__ == "__main__":
    main()
