#!/usr/bin/env python3
"""Generates kxCommon/kxPDFMetrics.cpp: the advance widths of the twelve
standard PDF text fonts (Courier, Helvetica, Times in four styles), taken
from the metric-compatible URW fonts of Debian's fonts-urw-base35.

The package is needed only to run this script, not to build:
    apt-get install fonts-urw-base35
    scripts/gen-pdf-metrics.py > kxCommon/kxPDFMetrics.cpp

Each font's table is keyed by UTF-16 code: every character of the Windows-1252
repertoire (what the default text encoding can draw) plus every glyph that
the AFM file names "uniXXXX".
"""

import os
import re
import sys

AFM_DIR = "/usr/share/fonts/type1/urw-base35"

# Standard 14 name -> URW file name.
FONTS = [
    ("Courier", "NimbusMonoPS-Regular"),
    ("Courier-Bold", "NimbusMonoPS-Bold"),
    ("Courier-Oblique", "NimbusMonoPS-Italic"),
    ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic"),
    ("Helvetica", "NimbusSans-Regular"),
    ("Helvetica-Bold", "NimbusSans-Bold"),
    ("Helvetica-Oblique", "NimbusSans-Italic"),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic"),
    ("Times-Roman", "NimbusRoman-Regular"),
    ("Times-Bold", "NimbusRoman-Bold"),
    ("Times-Italic", "NimbusRoman-Italic"),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic"),
]

# Glyph names of the Windows-1252 characters from 0x20 on (WinAnsiEncoding);
# alternatives in order of preference. None: the byte has no character.
ASCII = (
    "space exclam quotedbl numbersign dollar percent ampersand quotesingle "
    "parenleft parenright asterisk plus comma hyphen period slash "
    "zero one two three four five six seven eight nine colon semicolon less "
    "equal greater question at A B C D E F G H I J K L M N O P Q R S T U V W "
    "X Y Z bracketleft backslash bracketright asciicircum underscore grave "
    "a b c d e f g h i j k l m n o p q r s t u v w x y z braceleft bar "
    "braceright asciitilde"
).split()
HIGH = {
    0x80: "Euro", 0x82: "quotesinglbase", 0x83: "florin", 0x84: "quotedblbase",
    0x85: "ellipsis", 0x86: "dagger", 0x87: "daggerdbl", 0x88: "circumflex",
    0x89: "perthousand", 0x8A: "Scaron", 0x8B: "guilsinglleft", 0x8C: "OE",
    0x8E: "Zcaron", 0x91: "quoteleft", 0x92: "quoteright", 0x93: "quotedblleft",
    0x94: "quotedblright", 0x95: "bullet", 0x96: "endash", 0x97: "emdash",
    0x98: "tilde", 0x99: "trademark", 0x9A: "scaron", 0x9B: "guilsinglright",
    0x9C: "oe", 0x9E: "zcaron", 0x9F: "Ydieresis",
    0xA0: "uni00A0|space", 0xA1: "exclamdown", 0xA2: "cent", 0xA3: "sterling",
    0xA4: "currency", 0xA5: "yen", 0xA6: "brokenbar", 0xA7: "section",
    0xA8: "dieresis", 0xA9: "copyright", 0xAA: "ordfeminine",
    0xAB: "guillemotleft", 0xAC: "logicalnot", 0xAD: "uni00AD|hyphen",
    0xAE: "registered", 0xAF: "macron", 0xB0: "degree", 0xB1: "plusminus",
    0xB2: "twosuperior", 0xB3: "threesuperior", 0xB4: "acute",
    0xB5: "mu|uni00B5|mu1", 0xB6: "paragraph", 0xB7: "periodcentered",
    0xB8: "cedilla", 0xB9: "onesuperior", 0xBA: "ordmasculine",
    0xBB: "guillemotright", 0xBC: "onequarter", 0xBD: "onehalf",
    0xBE: "threequarters", 0xBF: "questiondown",
}
LATIN1_LETTERS = (
    "Agrave Aacute Acircumflex Atilde Adieresis Aring AE Ccedilla Egrave Eacute "
    "Ecircumflex Edieresis Igrave Iacute Icircumflex Idieresis Eth Ntilde "
    "Ograve Oacute Ocircumflex Otilde Odieresis multiply Oslash Ugrave Uacute "
    "Ucircumflex Udieresis Yacute Thorn germandbls agrave aacute acircumflex "
    "atilde adieresis aring ae ccedilla egrave eacute ecircumflex edieresis "
    "igrave iacute icircumflex idieresis eth ntilde ograve oacute ocircumflex "
    "otilde odieresis divide oslash ugrave uacute ucircumflex udieresis yacute "
    "thorn ydieresis"
).split()


def cp1252_names():
    names = {}
    for i, n in enumerate(ASCII):
        names[0x20 + i] = n
    names.update(HIGH)
    for i, n in enumerate(LATIN1_LETTERS):
        names[0xC0 + i] = n
    assert len(ASCII) == 95 and len(LATIN1_LETTERS) == 64
    return names


def read_afm(path):
    widths = {}
    in_metrics = False
    with open(path, encoding="latin-1") as f:
        for line in f:
            if line.startswith("StartCharMetrics"):
                in_metrics = True
            elif line.startswith("EndCharMetrics"):
                break
            elif in_metrics:
                fields = dict(
                    part.strip().split(None, 1)
                    for part in line.split(";")
                    if len(part.strip().split(None, 1)) == 2
                )
                if "N" in fields and "WX" in fields:
                    widths[fields["N"]] = int(round(float(fields["WX"])))
    return widths


def font_table(afm):
    table = {}
    for byte, alternatives in cp1252_names().items():
        code = ord(bytes([byte]).decode("cp1252"))
        for name in alternatives.split("|"):
            if name in afm:
                table[code] = afm[name]
                break
        else:
            sys.exit(f"glyph for 0x{byte:02X} ({alternatives}) missing")
    for name, width in afm.items():
        m = re.fullmatch(r"uni([0-9A-F]{4})", name)
        if m:
            table.setdefault(int(m.group(1), 16), width)
    return table


def main():
    out = []
    out.append("// Generated by scripts/gen-pdf-metrics.py from the AFM files of")
    out.append("// fonts-urw-base35 (URW++ fonts metric-compatible with the standard")
    out.append("// PDF fonts). Do not edit.")
    out.append("")
    out.append('#include "kxCommon/kxPDFMetrics.h"')
    out.append("")
    out.append("#include <algorithm>")
    out.append("#include <iterator>")
    out.append("")
    out.append("#include <QString>")
    out.append("")
    out.append("namespace {")
    out.append("")
    for std_name, urw in FONTS:
        afm = read_afm(os.path.join(AFM_DIR, urw + ".afm"))
        table = font_table(afm)
        ident = "k" + std_name.replace("-", "")
        out.append(f"// {std_name} <- {urw}")
        out.append(f"constexpr PdfGlyphWidth {ident}[] = {{")
        items = sorted(table.items())
        for i in range(0, len(items), 6):
            row = " ".join(f"{{0x{c:04X}, {w}}}," for c, w in items[i:i + 6])
            out.append("    " + row)
        out.append("};")
        out.append("")
    out.append("constexpr PdfFontMetrics kFonts[] = {")
    for std_name, _ in FONTS:
        ident = "k" + std_name.replace("-", "")
        out.append(f'    {{"{std_name}", {ident}, std::size({ident})}},')
    out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("const PdfFontMetrics* FindPdfFontMetrics(QStringView PDFName)")
    out.append("{")
    out.append("    for (const PdfFontMetrics& m : kFonts)")
    out.append("        if (PDFName == QLatin1String(m.name))")
    out.append("            return &m;")
    out.append("    return nullptr;")
    out.append("}")
    out.append("")
    out.append("int PdfFontGlyphWidth(const PdfFontMetrics& Font, char16_t Code)")
    out.append("{")
    out.append("    const PdfGlyphWidth* end = Font.widths + Font.count;")
    out.append("    const PdfGlyphWidth* it = std::lower_bound(Font.widths, end, Code,")
    out.append("        [](const PdfGlyphWidth& g, char16_t c) { return g.code < c; });")
    out.append("    return it != end && it->code == Code ? it->width : -1;")
    out.append("}")
    print("\n".join(out))


if __name__ == "__main__":
    main()
