#!/usr/bin/env python3
"""Writes the cover document (cover.docx): a one-page form whose placeholders
Word's find and replace fills. Every placeholder lies in the main text, each
inside one run, and the closing number line is the body's last paragraph.
Run it again after a change; the result is committed beside it and is the
same byte for byte on every run."""
import os
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))

# (text, bold, size in half points, space after in twips)
LINES = [
    ("[NR]/[EV].", True, 28, 240),
    ("[NEV]", True, 24, 0),
    ("[CIM]", False, 22, 0),
    ("Telefon: [TELEFON]", False, 22, 0),
    ("E-mail: [EMAIL]", False, 22, 360),
    ("Ügyfél: [UGYFEL]", True, 24, 0),
    ("Cím:", False, 22, 0),
    ("Telefon:", False, 22, 0),
    ("Email:", False, 22, 240),
    ("Ellenfél: [ELLENFEL]", True, 24, 0),
    ("Cím:", False, 22, 0),
    ("Telefon:", False, 22, 0),
    ("Email:", False, 22, 240),
    ("Tárgy: [UGYIRAT]", True, 24, 240),
    ("Eljáró hatóság megnevezése és ügyszáma:", False, 22, 240),
    ("Ügyintézője:", False, 22, 240),
    ("HATÁRIDŐK:", True, 24, 2400),
    ("Irattárba:", False, 22, 2400),
    ("[NR]/[EV].", True, 28, 0),
]

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'


def paragraph(text, bold, size, after):
    props = "<w:rPr>%s<w:sz w:val=\"%d\"/></w:rPr>" % ("<w:b/>" if bold else "", size)
    return ('<w:p><w:pPr><w:spacing w:after="%d"/></w:pPr><w:r>%s<w:t xml:space="preserve">%s</w:t></w:r></w:p>'
            % (after, props, escape(text)))


def document():
    body = "".join(paragraph(*line) for line in LINES)
    section = ('<w:sectPr><w:pgSz w:w="11906" w:h="16838"/>'
               '<w:pgMar w:top="1417" w:right="1417" w:bottom="1417" w:left="1417" w:header="708" '
               'w:footer="708" w:gutter="0"/></w:sectPr>')
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document %s><w:body>%s%s</w:body>'
            '</w:document>' % (W, body, section))


CONTENT_TYPES = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                 '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                 '<Default Extension="xml" ContentType="application/xml"/>'
                 '<Override PartName="/word/document.xml" ContentType="application/'
                 'vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>')

RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
        'officeDocument" Target="word/document.xml"/></Relationships>')


def main():
    path = os.path.join(HERE, "cover.docx")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in (("[Content_Types].xml", CONTENT_TYPES), ("_rels/.rels", RELS),
                           ("word/document.xml", document())):
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text.encode("utf-8"))


if __name__ == "__main__":
    main()
