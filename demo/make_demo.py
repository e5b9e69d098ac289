#!/usr/bin/python3
"""Draws the demo project's pictures and writes its project document.

Run from anywhere: demo/make_demo.py (Debian python3 with python3-pil).
The outputs (demo/project, demo/icons/*.png, demo/background/*.png) are
committed, so a build needs neither python nor PIL; rerun this after a change.
"""
import base64
import math
import os
from xml.dom import minidom

from PIL import Image, ImageDraw, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
ICONS = os.path.join(HERE, "icons")
BACKGROUNDS = os.path.join(HERE, "background")
PAGE_W, PAGE_H = 1024, 768
SS = 4  # supersampling factor for smooth edges

AMBER = (229, 221, 0)
WHITE = (238, 238, 238)
GREY = (110, 110, 110)
DARK = (60, 60, 60)
GREEN = (90, 220, 110)
RED = (235, 70, 60)
BLUE = (90, 170, 255)
ORANGE = (255, 150, 40)


def canvas(size=128):
    img = Image.new("RGBA", (size * SS, size * SS), (0, 0, 0, 0))
    return img, ImageDraw.Draw(img)


def s(*values):
    return [v * SS for v in values]


def save_icon(img, name, size=128):
    img = img.resize((size, size), Image.LANCZOS)
    img.save(os.path.join(ICONS, name))


def glow(img, colour, radius=10):
    """A soft halo behind the drawn shape, so 'on' reads at a glance."""
    alpha = img.split()[3].filter(ImageFilter.GaussianBlur(radius * SS))
    halo = Image.new("RGBA", img.size, colour + (0,))
    halo.putalpha(alpha.point(lambda a: min(255, a * 2) // 2))
    return Image.alpha_composite(halo, img)


def bulb(on):
    img, d = canvas()
    fill = AMBER if on else DARK
    outline = (255, 245, 160) if on else GREY
    d.ellipse(s(30, 14, 98, 82), fill=fill, outline=outline, width=3 * SS)
    d.polygon(s(44, 72, 84, 72, 78, 92, 50, 92), fill=fill, outline=outline)
    for y in (94, 102, 110):
        d.rounded_rectangle(s(48, y, 80, y + 6), radius=2 * SS, fill=(170, 170, 170))
    d.line(s(64, 40, 64, 70), fill=(255, 255, 255) if on else GREY, width=3 * SS)
    if on:
        for k in range(8):
            a = math.pi * k / 4
            x0, y0 = 64 + 44 * math.cos(a), 48 + 44 * math.sin(a)
            x1, y1 = 64 + 58 * math.cos(a), 48 + 58 * math.sin(a)
            if y1 < 100:
                d.line(s(x0, y0, x1, y1), fill=AMBER, width=4 * SS)
        img = glow(img, AMBER)
    return img


def blind(open_):
    img, d = canvas()
    d.rectangle(s(20, 14, 108, 114), outline=WHITE, width=3 * SS)
    d.rectangle(s(16, 8, 112, 18), fill=(170, 170, 170))
    if open_:
        d.rectangle(s(23, 17, 105, 111), fill=(40, 90, 150))
        d.ellipse(s(70, 30, 94, 54), fill=AMBER)
        for y in (20, 26, 32):
            d.rectangle(s(22, y, 106, y + 4), fill=(200, 200, 200))
    else:
        for y in range(20, 110, 9):
            d.rectangle(s(22, y, 106, y + 6), fill=(170, 170, 170))
    return img


def fan(on):
    img, d = canvas()
    colour = BLUE if on else GREY
    d.ellipse(s(10, 10, 118, 118), outline=colour, width=4 * SS)
    for k in range(3):
        a = 2 * math.pi * k / 3 + (0.4 if on else 0)
        pts = []
        for t in range(0, 21):
            r = 8 + 42 * t / 20
            ang = a + 0.9 * t / 20
            pts.append((64 + r * math.cos(ang), 64 + r * math.sin(ang)))
        for t in range(20, -1, -1):
            r = 8 + 42 * t / 20
            ang = a + 0.9 * t / 20 + 0.55 * math.sin(math.pi * t / 20) + 0.12
            pts.append((64 + r * math.cos(ang), 64 + r * math.sin(ang)))
        d.polygon([v * SS for p in pts for v in p], fill=colour)
    d.ellipse(s(54, 54, 74, 74), fill=(200, 200, 200))
    return glow(img, BLUE, 6) if on else img


def radiator(on):
    img, d = canvas()
    colour = ORANGE if on else GREY
    for x in range(18, 110, 18):
        d.rounded_rectangle(s(x, 40, x + 12, 112), radius=5 * SS, fill=colour)
    d.rectangle(s(14, 100, 114, 106), fill=colour)
    if on:
        for x in (34, 64, 94):
            pts = []
            for t in range(0, 13):
                pts += [x + 5 * math.sin(t * 0.8), 34 - t * 2.3]
            d.line([v * SS for v in pts], fill=RED, width=4 * SS)
        img = glow(img, ORANGE, 6)
    return img


def door(open_):
    img, d = canvas()
    d.rectangle(s(30, 10, 98, 118), outline=WHITE, width=3 * SS)
    if open_:
        d.polygon(s(33, 13, 70, 24, 70, 122, 33, 115), fill=(150, 90, 40), outline=AMBER)
        d.ellipse(s(60, 66, 66, 72), fill=AMBER)
        d.rectangle(s(72, 13, 95, 115), fill=(30, 30, 30))
    else:
        d.rectangle(s(33, 13, 95, 115), fill=(110, 70, 35))
        d.ellipse(s(82, 62, 90, 70), fill=(220, 220, 220))
        d.rectangle(s(40, 22, 88, 52), outline=(80, 50, 25), width=2 * SS)
        d.rectangle(s(40, 64, 88, 104), outline=(80, 50, 25), width=2 * SS)
    return img


def house():
    img, d = canvas()
    d.polygon(s(64, 10, 118, 58, 10, 58), fill=(150, 40, 40), outline=WHITE)
    d.rectangle(s(22, 58, 106, 116), fill=(210, 200, 170), outline=WHITE, width=2 * SS)
    d.rectangle(s(54, 80, 74, 116), fill=(110, 70, 35))
    d.rectangle(s(30, 68, 48, 86), fill=AMBER)
    d.rectangle(s(80, 68, 98, 86), fill=(40, 90, 150))
    d.rectangle(s(88, 18, 98, 42), fill=(120, 120, 120))
    return img


def thermometer():
    img, d = canvas()
    d.rounded_rectangle(s(54, 8, 74, 96), radius=10 * SS, outline=WHITE, width=3 * SS)
    d.ellipse(s(44, 84, 84, 122), fill=RED, outline=WHITE, width=3 * SS)
    d.rectangle(s(60, 40, 68, 92), fill=RED)
    for y in range(20, 84, 12):
        d.line(s(78, y, 88, y), fill=WHITE, width=2 * SS)
    return img


def droplet():
    img, d = canvas()
    pts = [(64, 8)]
    for t in range(0, 181, 10):
        a = math.radians(t)
        pts.append((64 + 38 * math.cos(a + math.pi), 80 + 38 * math.sin(a)))
    pts = [(64, 8), (26, 80)] + pts[1:] + [(102, 80)]
    d.polygon([v * SS for p in pts for v in p], fill=BLUE)
    d.ellipse(s(26, 42, 102, 118), fill=BLUE)
    d.ellipse(s(44, 70, 58, 96), fill=(200, 230, 255))
    return img


def power():
    img, d = canvas()
    d.ellipse(s(6, 6, 122, 122), fill=(70, 20, 20), outline=RED, width=4 * SS)
    d.arc(s(32, 32, 96, 96), start=-60, end=240, fill=WHITE, width=9 * SS)
    d.line(s(64, 22, 64, 64), fill=WHITE, width=9 * SS)
    return img


def link(kind):
    img, d = canvas()
    d.rounded_rectangle(s(4, 4, 124, 124), radius=22 * SS, fill=(40, 40, 40), outline=AMBER, width=4 * SS)
    if kind == "home":
        d.polygon(s(64, 22, 106, 60, 22, 60), fill=WHITE)
        d.rectangle(s(34, 60, 94, 104), fill=WHITE)
        d.rectangle(s(56, 76, 72, 104), fill=(40, 40, 40))
    elif kind == "light":
        small = bulb(True).resize((96 * SS, 96 * SS), Image.LANCZOS)
        img.alpha_composite(small, (16 * SS, 14 * SS))
    elif kind == "climate":
        small = thermometer().resize((88 * SS, 88 * SS), Image.LANCZOS)
        img.alpha_composite(small, (20 * SS, 20 * SS))
    # arrow in the corner says "goes to another page"
    d = ImageDraw.Draw(img)
    d.polygon(s(92, 100, 116, 100, 104, 88), fill=AMBER)
    d.polygon(s(96, 100, 112, 100, 112, 116, 96, 116), fill=AMBER)
    return img


def unknown():
    img, d = canvas()
    d.ellipse(s(8, 8, 120, 120), outline=(200, 120, 0), width=5 * SS)
    d.arc(s(40, 26, 88, 74), start=180, end=90, fill=(200, 120, 0), width=9 * SS)
    d.line(s(64, 72, 64, 88), fill=(200, 120, 0), width=9 * SS)
    d.ellipse(s(58, 96, 70, 108), fill=(200, 120, 0))
    return img


def background(panels):
    img = Image.new("RGB", (PAGE_W, PAGE_H), (0, 0, 0))
    d = ImageDraw.Draw(img)
    for y in range(PAGE_H):
        v = int(10 + 18 * y / PAGE_H)
        d.line([(0, y), (PAGE_W, y)], fill=(v // 2, v // 2, v))
    d.rectangle([0, 0, PAGE_W, 90], fill=(22, 22, 30))
    d.line([(0, 90), (PAGE_W, 90)], fill=AMBER, width=3)
    for x0, y0, x1, y1 in panels:
        d.rounded_rectangle([x0, y0, x1, y1], radius=14, fill=(24, 26, 36), outline=(90, 90, 110), width=2)
    return img


# Item elements ---------------------------------------------------------------

def enc(text):
    return "BASE64_" + base64.b64encode(text.encode("utf-8")).decode("ascii")


def rgb(c):
    return c[0] * 65536 + c[1] * 256 + c[2]


def item(kind, x, y, w, h, active="", inactive="", unknown_="", texts=("", "", ""),
         bold=False, italic=False, colour=WHITE, size=12, digits=2, page="", port=""):
    return dict(type=kind, x=x, y=y, w=w, h=h, image_active=active, image_inactive=inactive,
                image_unknown=unknown_, text_active=enc(texts[0]), text_inactive=enc(texts[1]),
                text_error=enc(texts[2]), text_bold="1" if bold else "0",
                text_italic="1" if italic else "0", text_color=str(rgb(colour)),
                font_size=str(size), digits=str(digits), page_id=page, port=port)


def text(x, y, t, size=24, bold=False, colour=WHITE, w=200, h=40):
    return item("Text", x, y, w, h, texts=(t, "", ""), bold=bold, colour=colour, size=size)


def state_text(x, y, on, off, port, size=24, colour=AMBER):
    return item("StateText", x, y, 160, 40, texts=(on, off, "?"), colour=colour, size=size, port=port)


def value(x, y, port, digits=1, size=40):
    return item("ADCText", x, y, 150, 50, colour=AMBER, size=size, digits=digits, bold=True, port=port)


def state_button(x, y, on, off, port, edge=120):
    return item("StateButton", x, y, edge, edge, on, off, "unknown.png", port=port)


def state_picture(x, y, on, off, port, edge=96):
    return item("StatePicture", x, y, edge, edge, on, off, "unknown.png", port=port)


def page_link(x, y, icon, page, edge=100):
    return item("PageChange", x, y, edge, edge, icon, page=page)


def header(title):
    return [text(30, 20, title, size=40, bold=True, w=400, h=50)]


PAGES = [
    {
        "id": "UEBERSICHT", "name": "Übersicht", "background": "overview.png",
        "panels": [(30, 120, 497, 420), (527, 120, 994, 420), (30, 450, 994, 738)],
        "items": header("Haus Übersicht") + [
            text(50, 135, "Beleuchtung", size=28, colour=AMBER),
            page_link(50, 190, "link_light.png", "BELEUCHTUNG", 128),
            text(200, 200, "Lampen und", size=22), text(200, 232, "Jalousie", size=22),
            state_text(200, 300, "Küche: an", "Küche: aus", "ITM_Kueche_OUT1", size=22),
            state_text(200, 336, "Wohnen: an", "Wohnen: aus", "ITM_Wohnen_OUT1", size=22),
            text(547, 135, "Klima", size=28, colour=AMBER),
            page_link(547, 190, "link_climate.png", "KLIMA", 128),
            text(700, 200, "Außen", size=22),
            value(700, 240, "ITM_Aussen_IN1"),
            text(850, 250, "°C", size=34, w=60, h=45),
            text(50, 465, "Haus", size=28, colour=AMBER),
            item("Picture", 60, 520, 160, 160, "house.png"),
            state_picture(280, 540, "door_open.png", "door_closed.png", "ITM_Haustuer_IN1", 120),
            state_text(250, 675, "Haustür offen", "Haustür zu", "ITM_Haustuer_IN1", size=22),
            item("Button", 520, 530, 110, 110, "power.png", port="ITM_Zentral_OUT1"),
            text(510, 655, "Alles aus", size=22),
            text(700, 520, "Meldungen", size=22),
            item("StateText", 700, 560, 260, 40, texts=("Störung!", "Keine Störung", "?"),
                 colour=ORANGE, size=26, bold=True, port="ITM_Alarm_IN1"),
        ],
    },
    {
        "id": "BELEUCHTUNG", "name": "Beleuchtung", "background": "lighting.png",
        "panels": [(30, 120, 257, 400), (277, 120, 504, 400), (524, 120, 751, 400),
                   (771, 120, 994, 400), (30, 420, 497, 640)],
        "items": header("Beleuchtung") + [
            x for i, (room, key) in enumerate([("Küche", "Kueche"), ("Wohnen", "Wohnen"),
                                                ("Bad", "Bad"), ("Flur", "Flur")])
            for x in (
                text(50 + 247 * i, 135, room, size=28, colour=AMBER, w=150),
                state_button(80 + 247 * i, 190, "lamp_on.png", "lamp_off.png", f"ITM_{key}_OUT1"),
                state_text(80 + 247 * i, 330, "An", "Aus", f"ITM_{key}_OUT1", size=28),
            )
        ] + [
            text(50, 435, "Jalousie Wohnen", size=28, colour=AMBER, w=300),
            state_button(60, 490, "blind_open.png", "blind_closed.png", "ITM_Wohnen_OUT2", 120),
            state_text(210, 530, "Offen", "Geschlossen", "ITM_Wohnen_OUT2", size=28),
            page_link(30, 660, "link_home.png", "UEBERSICHT", 90),
            text(130, 690, "Übersicht", size=22),
            page_link(904, 660, "link_climate.png", "KLIMA", 90),
            text(824, 690, "Klima", size=22, w=70),
        ],
    },
    {
        "id": "KLIMA", "name": "Klima", "background": "climate.png",
        "panels": [(30, 120, 497, 640), (527, 120, 994, 380), (527, 400, 994, 640)],
        "items": header("Klima") + [
            text(50, 135, "Temperaturen", size=28, colour=AMBER, w=250),
        ] + [
            x for i, (room, key) in enumerate([("Küche", "Kueche"), ("Wohnen", "Wohnen"),
                                                ("Außen", "Aussen")])
            for x in (
                item("Picture", 50, 190 + 110 * i, 64, 64, "thermometer.png"),
                text(130, 200 + 110 * i, room, size=24, w=120),
                value(260, 190 + 110 * i, f"ITM_{key}_IN1"),
                text(410, 200 + 110 * i, "°C", size=34, w=60, h=45),
            )
        ] + [
            item("Picture", 50, 520, 64, 64, "droplet.png"),
            text(130, 530, "Bad", size=24, w=120),
            value(260, 520, "ITM_Bad_IN2", digits=0),
            text(410, 530, "%", size=34, w=60, h=45),
            text(547, 135, "Lüfter Bad", size=28, colour=AMBER, w=250),
            state_button(560, 190, "fan_on.png", "fan_off.png", "ITM_Bad_OUT3", 120),
            state_text(710, 230, "Lüfter an", "Lüfter aus", "ITM_Bad_OUT3", size=28),
            text(547, 415, "Heizung Wohnen", size=28, colour=AMBER, w=300),
            state_picture(560, 470, "radiator_on.png", "radiator_off.png", "ITM_Heizung_IN1", 120),
            state_text(710, 510, "Heizt", "Aus", "ITM_Heizung_IN1", size=28),
            page_link(30, 660, "link_home.png", "UEBERSICHT", 90),
            text(130, 690, "Übersicht", size=22),
            page_link(904, 660, "link_light.png", "BELEUCHTUNG", 90),
            text(764, 690, "Beleuchtung", size=22, w=130),
        ],
    },
]

ORDER = ["x", "y", "w", "h", "image_active", "image_inactive", "image_unknown", "text_active",
         "text_inactive", "text_error", "text_bold", "text_italic", "text_color", "font_size",
         "digits", "page_id", "port", "type"]


def project_document():
    """The document as the designer saves it: a DOM document of the type
    QalixPlusDesignerFile, written with one space per level and no XML
    declaration, as Qt's QDomDocument::toString() writes it."""
    doctype = minidom.getDOMImplementation().createDocumentType("QalixPlusDesignerFile", None, None)
    doc = minidom.getDOMImplementation().createDocument(None, "QalixPlusDesignerProject", doctype)
    root = doc.documentElement

    def add(parent, tag, value=None):
        e = doc.createElement(tag)
        if value is not None:
            e.appendChild(doc.createTextNode(str(value)))
        parent.appendChild(e)
        return e

    add(root, "pagex", PAGE_W)
    add(root, "pagey", PAGE_H)
    conn = add(root, "Connections")
    add(conn, "host", "127.0.0.1")
    add(conn, "password", "demo")
    add(conn, "port", 64401)
    add(conn, "username", "demo")
    pages = add(root, "Pages")
    for p in PAGES:
        pe = add(pages, "page")
        add(pe, "name", p["name"])
        add(pe, "id", p["id"])
        add(pe, "w", PAGE_W)
        add(pe, "h", PAGE_H)
        add(pe, "background", p["background"])
        comps = add(pe, "components")
        for it in p["items"]:
            assert it["x"] + it["w"] <= PAGE_W and it["y"] + it["h"] <= PAGE_H, it
            ce = add(comps, "component")
            for key in ORDER:
                add(ce, key, it[key])
    text = doc.toprettyxml(indent=" ")
    # minidom puts an XML declaration first; the designer's document has none.
    assert text.startswith('<?xml version="1.0" ?>\n')
    return text.split("\n", 1)[1].encode("utf-8")


def main():
    os.makedirs(ICONS, exist_ok=True)
    os.makedirs(BACKGROUNDS, exist_ok=True)
    pictures = {
        "lamp_on.png": bulb(True), "lamp_off.png": bulb(False),
        "blind_open.png": blind(True), "blind_closed.png": blind(False),
        "fan_on.png": fan(True), "fan_off.png": fan(False),
        "radiator_on.png": radiator(True), "radiator_off.png": radiator(False),
        "door_open.png": door(True), "door_closed.png": door(False),
        "house.png": house(), "thermometer.png": thermometer(), "droplet.png": droplet(),
        "power.png": power(), "unknown.png": unknown(),
        "link_home.png": link("home"), "link_light.png": link("light"),
        "link_climate.png": link("climate"),
    }
    for name, img in pictures.items():
        save_icon(img, name)
    for p, name in zip(PAGES, ("overview.png", "lighting.png", "climate.png")):
        background(p["panels"]).save(os.path.join(BACKGROUNDS, name))
    with open(os.path.join(HERE, "project"), "wb") as f:
        f.write(project_document())


if __name__ == "__main__":
    main()
