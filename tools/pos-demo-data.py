#!/usr/bin/python3
"""Point-of-sale data of a demo restaurant, as SQL on standard output.

  pos-demo-data.py [options] | mariadb -uroot ...

A Turkish kebab and pide restaurant: its company record, a menu, receipts
with their order items over the last few weeks up to "now" (older business
days already moved to the archive tables), cash, bank and meal-voucher
movements, and this year's expense movements with notes and image names.
The same options and seed give the same bytes. Rows are streamed: a million
order items never stand in memory at once.

The business day runs from 06:00:00 to 05:59:59 of the next calendar day.
"""
import argparse
import bisect
import calendar
import datetime
import hashlib
import os
import random
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# The menu: name, unit, price in lira, group, quantity kind, popularity.
# Quantity kinds: "adet" whole pieces, "prs" portions (1, 1.5, 2), "kg" weight.

GROUPS = {  # gra: (name, department)
    1: ("Çorbalar", 1), 2: ("Kebaplar", 2), 3: ("Izgaralar", 2),
    4: ("Pide ve Lahmacun", 3), 5: ("Döner", 1), 6: ("Salata ve Mezeler", 1),
    7: ("Tatlılar", 4), 8: ("Sıcak İçecekler", 5), 9: ("Soğuk İçecekler", 5),
    10: ("Yan Ürünler", 1), 11: ("Menüler", 1),
}

MENU = [
    ("Mercimek Çorbası", "Prs", 110, 1, "prs", 8),
    ("Ezogelin Çorbası", "Prs", 110, 1, "prs", 5),
    ("İşkembe Çorbası", "Prs", 160, 1, "prs", 3),
    ("Kelle Paça Çorbası", "Prs", 190, 1, "prs", 2),
    ("Yayla Çorbası", "Prs", 110, 1, "prs", 3),
    ("Adana Kebap", "Prs", 420, 2, "prs", 10),
    ("Urfa Kebap", "Prs", 420, 2, "prs", 6),
    ("İskender Kebap", "Prs", 480, 2, "prs", 8),
    ("Beyti Sarma", "Prs", 490, 2, "prs", 4),
    ("Ali Nazik", "Prs", 470, 2, "prs", 3),
    ("Patlıcan Kebabı", "Prs", 460, 2, "prs", 3),
    ("Testi Kebabı", "Prs", 650, 2, "prs", 1),
    ("Kuzu Şiş", "Prs", 520, 3, "prs", 4),
    ("Tavuk Şiş", "Prs", 320, 3, "prs", 7),
    ("Izgara Köfte", "Prs", 360, 3, "prs", 7),
    ("Kuzu Pirzola", "Prs", 680, 3, "prs", 2),
    ("Tavuk Kanat", "Prs", 300, 3, "prs", 4),
    ("Karışık Izgara", "Prs", 780, 3, "prs", 2),
    ("Lahmacun", "Adet", 110, 4, "adet", 10),
    ("Kıymalı Pide", "Adet", 260, 4, "adet", 5),
    ("Kaşarlı Pide", "Adet", 250, 4, "adet", 4),
    ("Kuşbaşılı Pide", "Adet", 330, 4, "adet", 4),
    ("Karışık Pide", "Adet", 340, 4, "adet", 3),
    ("Yumurtalı Kıymalı Pide", "Adet", 280, 4, "adet", 2),
    ("Et Döner Porsiyon", "Prs", 380, 5, "prs", 6),
    ("Tavuk Döner Porsiyon", "Prs", 260, 5, "prs", 5),
    ("Et Döner Dürüm", "Adet", 260, 5, "adet", 6),
    ("Tavuk Döner Dürüm", "Adet", 180, 5, "adet", 7),
    ("Pilav Üstü Döner", "Prs", 340, 5, "prs", 3),
    ("Çoban Salata", "Prs", 110, 6, "prs", 5),
    ("Gavurdağı Salata", "Prs", 150, 6, "prs", 3),
    ("Acılı Ezme", "Prs", 90, 6, "prs", 4),
    ("Cacık", "Prs", 80, 6, "prs", 3),
    ("Humus", "Prs", 120, 6, "prs", 2),
    ("Haydari", "Prs", 90, 6, "prs", 2),
    ("Künefe", "Prs", 220, 7, "prs", 5),
    ("Fıstıklı Baklava", "Kg", 1400, 7, "kg", 1),
    ("Baklava (4'lü)", "Prs", 240, 7, "adet", 3),
    ("Sütlaç", "Adet", 130, 7, "adet", 3),
    ("Kazandibi", "Adet", 130, 7, "adet", 2),
    ("Katmer", "Adet", 260, 7, "adet", 1),
    ("Çay", "Bardak", 20, 8, "adet", 12),
    ("Türk Kahvesi", "Fincan", 90, 8, "adet", 3),
    ("Nane Limon", "Bardak", 60, 8, "adet", 1),
    ("Ayran", "Adet", 45, 9, "adet", 12),
    ("Açık Ayran (1 lt)", "Lt", 120, 9, "adet", 1),
    ("Şalgam Suyu", "Şişe", 50, 9, "adet", 5),
    ("Kola", "Kutu", 70, 9, "adet", 6),
    ("Gazoz", "Şişe", 60, 9, "adet", 3),
    ("Maden Suyu", "Şişe", 35, 9, "adet", 4),
    ("Su (0,5 lt)", "Şişe", 20, 9, "adet", 5),
    ("Meyve Suyu", "Kutu", 60, 9, "adet", 2),
    ("Pilav", "Prs", 80, 10, "prs", 4),
    ("Patates Kızartması", "Prs", 100, 10, "prs", 4),
    ("Mantı", "Prs", 290, 10, "prs", 2),
    ("Kebap & Ayran Menü", "Adet", 450, 11, "adet", 2),
    ("Öğrenci Menüsü", "Adet", 250, 11, "adet", 1),
]

VARIANTS = ["Büyük", "Küçük", "Duble", "Acılı", "Acısız", "Paket", "Yarım",
            "Bol Soslu", "Aile Boyu", "Kampanya"]

# Quantity choices per kind: (quarters of a unit, adet), repeated by weight.
QUANTITIES = {
    "adet": [(4, 1)] * 80 + [(8, 2)] * 14 + [(12, 3)] * 4 + [(16, 4)] * 2,
    "prs": [(4, 1)] * 86 + [(6, 1)] * 7 + [(8, 2)] * 7,
    "kg": [(1, 1)] * 30 + [(2, 1)] * 40 + [(3, 1)] * 10 + [(4, 1)] * 20,
}

# Receipts per hour of the business day (hour 24 is midnight of the next
# calendar day, 29 is 05:00).
HOURS = {6: 1, 7: 2, 8: 3, 9: 3, 10: 4, 11: 8, 12: 14, 13: 13, 14: 7, 15: 4,
         16: 4, 17: 6, 18: 11, 19: 14, 20: 13, 21: 9, 22: 6, 23: 4, 24: 3,
         25: 2, 26: 1, 27: 0.5, 28: 0.3, 29: 0.2}
WEEKDAY = [0.85, 0.85, 0.9, 0.95, 1.15, 1.3, 1.2]  # Monday first

ORDER_TYPES = [(3, 45), (2, 15), (4, 15), (1, 10), (7, 9), (8, 6)]

# Payment columns of shopcharts in their order.
CASH, CARD, VOUCHER, NOTE, ACCOUNT, TREAT, DISCOUNT, STAFF = range(8)
# How the rest of a receipt is paid, per order type: (kind, weight); kind
# SPLIT is part cash, part card.
SPLIT = 8
# Order type and payment of the receipts that make sure a day shows them all.
FORCED = [(3, CASH), (2, CARD), (4, VOUCHER), (3, NOTE), (7, ACCOUNT), (3, TREAT),
          (1, DISCOUNT), (8, ACCOUNT), (4, STAFF)]
PAYMENTS = {
    3: [(CASH, 33), (CARD, 45), (VOUCHER, 8), (SPLIT, 7), (ACCOUNT, 3), (NOTE, 1), (STAFF, 3)],
    2: [(CASH, 45), (CARD, 43), (VOUCHER, 12)],
    4: [(CASH, 40), (CARD, 42), (VOUCHER, 15), (STAFF, 3)],
    1: [(CASH, 50), (CARD, 44), (ACCOUNT, 6)],
    7: [(ACCOUNT, 80), (CASH, 10), (CARD, 10)],
    8: [(ACCOUNT, 85), (CASH, 5), (CARD, 10)],
}

EXPENSE_GROUPS = [  # acode, bcode, name
    (1, 1, "Mutfak Alımları"), (1, 2, "Personel Giderleri"), (1, 3, "Kira ve Aidat"),
    (1, 4, "Enerji ve Su"), (1, 5, "Vergi ve Harçlar"), (1, 6, "Bakım ve Onarım"),
    (1, 7, "Genel Giderler"), (2, 8, "Paket Servis Giderleri"),
]
# code, bcode, name, lowest and highest amount in lira, weight, monthly bill
EXPENSE_DEFINITIONS = [
    (101, 1, "Et ve Tavuk", 4000, 22000, 14, False),
    (102, 1, "Sebze ve Meyve", 1200, 6000, 12, False),
    (103, 1, "Ekmek ve Unlu Mamul", 400, 1800, 8, False),
    (104, 1, "Süt Ürünleri", 800, 4000, 6, False),
    (105, 1, "İçecek Alımı", 1500, 9000, 5, False),
    (106, 1, "Kuru Gıda ve Baharat", 700, 5000, 4, False),
    (107, 1, "Kömür ve Odun", 1500, 6000, 4, False),
    (201, 2, "Maaş Ödemesi", 28000, 42000, 4, True),
    (202, 2, "SGK Primi", 9000, 15000, 2, True),
    (203, 2, "Personel Avansı", 1000, 5000, 2, False),
    (301, 3, "Dükkân Kirası", 65000, 65000, 2, True),
    (302, 3, "Site Aidatı", 1500, 1500, 1, True),
    (401, 4, "Elektrik", 6000, 14000, 2, True),
    (402, 4, "Doğalgaz", 3000, 12000, 2, True),
    (403, 4, "Su", 900, 2500, 1, True),
    (404, 4, "İnternet ve Telefon", 750, 750, 1, True),
    (501, 5, "KDV Ödemesi", 15000, 60000, 1, True),
    (502, 5, "Belediye Harcı", 2000, 6000, 1, False),
    (601, 6, "Ocak ve Davlumbaz Bakımı", 2500, 9000, 1, False),
    (602, 6, "Tesisat Tamiri", 800, 4000, 1, False),
    (701, 7, "Temizlik Malzemesi", 600, 3000, 3, False),
    (702, 7, "Kırtasiye", 150, 900, 1, False),
    (703, 7, "Ambalaj ve Paket Malzemesi", 1200, 5000, 3, False),
    (704, 7, "Muhasebe Ücreti", 5000, 5000, 1, True),
    (801, 8, "Kurye Motoru Yakıtı", 400, 1500, 3, False),
    (802, 8, "Paket Platformu Komisyonu", 3000, 12000, 1, True),
]
NOTES = {
    1: ["Kasap Hüseyin'den {n} kg kuzu ve dana", "Hal'den haftalık sebze, irsaliye {f}",
        "Fırından günlük ekmek ve lavaş", "Toptancıdan içecek, fatura {f}",
        "Mangal kömürü {n} çuval", "Baharat ve bakliyat alımı"],
    2: ["{m} ayı maaşları", "{m} ayı SGK primi", "Garson Emre'ye avans"],
    3: ["{m} ayı dükkân kirası", "{m} ayı site aidatı"],
    4: ["{m} ayı faturası, abone no 4{n}07"],
    5: ["{m} dönemi KDV beyannamesi", "Tabela ve işgal harcı"],
    6: ["Davlumbaz filtreleri değiştirildi", "Bulaşık makinesi tesisatı onarıldı"],
    7: ["Deterjan, eldiven ve çöp poşeti", "Adisyon kâğıdı ve yazıcı rulosu",
        "Paket kutusu & poşet, fatura {f}", "{m} ayı muhasebe ücreti"],
    8: ["Kurye motoru benzin, plaka 34 KRY {n}", "{m} ayı paket platformu komisyonu"],
}
MONTHS = ["Ocak", "Şubat", "Mart", "Nisan", "Mayıs", "Haziran", "Temmuz",
          "Ağustos", "Eylül", "Ekim", "Kasım", "Aralık"]

DAY = datetime.timedelta(days=1)


def parse_args():
    p = argparse.ArgumentParser(
        description=__doc__.split("\n\n", 1)[1],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    add = p.add_argument
    add("--days", type=int, default=28, metavar="N",
        help="business days ending with the current one (%(default)s)")
    add("--month", action="store_true",
        help="every business day of the current month instead, whole days, also those still "
             "to come: all rows fall into the monthly report's period")
    add("--now", default="", metavar="TIME",
        help='"YYYY-MM-DD HH:MM:SS" instead of the local time')
    add("--receipts", type=int, default=0, metavar="N",
        help="receipts in all (default about 120 a day)")
    add("--items", type=int, default=0, metavar="N",
        help="order items in all, at least one per receipt (default about 4.3 a receipt)")
    add("--products", type=int, default=len(MENU), metavar="N",
        help="products; the menu has %d, more become variants of its dishes" % len(MENU))
    add("--expenses", type=int, default=60, metavar="N",
        help="expense movements (%(default)s)")
    add("--notes", type=int, default=36, metavar="N",
        help="expense notes (%(default)s); more than movements gives some a second note")
    add("--archive-after", type=int, default=7, metavar="N",
        help="business days older than N days stand in the archive tables (%(default)s)")
    add("--duplicates", type=int, default=5, metavar="N",
        help="receipts of the newest archived day that also stand in the live tables, "
             "as while the point of sale archives (%(default)s)")
    add("--images", default="", metavar="DIR",
        help="write the image files of the expense movements into DIR")
    add("--image-share", type=float, default=0.3, metavar="F",
        help="share of expense movements with an image (%(default)s)")
    add("--truncate", action="store_true", help="empty the tables first")
    add("--seed", type=int, default=1, metavar="N", help="(%(default)s)")
    add("--company", default="Demo Lokanta Çınaraltı", help="compname (%(default)s)")
    add("--folder", default="demo", help="compfolder (%(default)s)")
    add("--hash", default="", help="raporlamahash (default: made from folder and seed)")
    add("--batch", type=int, default=1000, metavar="N", help="rows per INSERT (%(default)s)")
    a = p.parse_args()
    if a.now:
        try:
            a.now = datetime.datetime.strptime(a.now, "%Y-%m-%d %H:%M:%S")
        except ValueError:
            p.error("--now wants YYYY-MM-DD HH:MM:SS")
    else:
        a.now = datetime.datetime.now().replace(microsecond=0)
    if a.days < 1:
        p.error("--days must be at least 1")
    if a.products < 1:
        p.error("--products must be at least 1")
    if min(a.receipts, a.items, a.expenses, a.notes, a.archive_after, a.duplicates) < 0:
        p.error("counts must not be negative")
    if not 0 <= a.image_share <= 1:
        p.error("--image-share must lie between 0 and 1")
    if a.batch < 1:
        p.error("--batch must be at least 1")
    if a.notes and not a.expenses:
        p.error("notes belong to expense movements: --notes needs --expenses")
    return a


def sql_text(s):
    return "'" + s.replace("\\", "\\\\").replace("'", "\\'") + "'"


def money(kurus):
    return "%d.%02d" % divmod(kurus, 100) if kurus >= 0 else "-" + money(-kurus)


def stamp(t):
    return t.strftime("%Y-%m-%d %H:%M:%S")


class Out:
    """Multi-row INSERTs per table, flushed every `batch` rows; a COMMIT now and
    then keeps the server's transactions of a big load small."""

    def __init__(self, stream, batch):
        self.stream = stream
        self.batch = batch
        self.rows = {}
        self.statements = 0

    def row(self, table, values):
        rows = self.rows.setdefault(table, [])
        rows.append(values)
        if len(rows) >= self.batch:
            self.flush(table)

    def flush(self, table):
        rows = self.rows.get(table)
        if not rows:
            return
        self.stream.write("INSERT INTO %s VALUES\n%s;\n" % (table, ",\n".join(rows)))
        rows.clear()
        self.statements += 1
        if self.statements % 50 == 0:
            self.stream.write("COMMIT;\n")

    def flush_all(self):
        for table in list(self.rows):
            self.flush(table)

    def write(self, text):
        self.stream.write(text)


# ---------------------------------------------------------------------------
# Master data

def products(count):
    """(stcode, type, gra, grb, grc, name, unit, depart, price kuruş, cost kuruş,
    kind, weight, kdv) for `count` products. Fewer than the menu keeps every
    group; more adds variants of the menu's dishes."""
    ranked = sorted(range(len(MENU)),
                    key=lambda i: (sum(1 for j in range(i) if MENU[j][3] == MENU[i][3]), i))
    chosen = sorted(ranked[:count])
    out = []
    seen = {}
    for i in chosen:
        name, unit, price, gra, kind, weight = MENU[i]
        n = seen.get(gra, 0) + 1
        seen[gra] = n
        if gra == 9:  # bottled drinks carry their barcode as code
            code = 8690504000000 + i * 37
        else:
            code = gra * 100 + n
        dept = GROUPS[gra][1]
        out.append((code, 1, gra, 0, 0, name, unit, dept, price * 100,
                    price * 100 * (28 + (i * 7) % 17) // 100, kind, weight,
                    10 if gra != 9 else 20))
    for v in range(count - len(chosen)):
        i = v % len(MENU)
        round_ = v // len(MENU)
        name, unit, price, gra, kind, weight = MENU[i]
        label = VARIANTS[round_ % len(VARIANTS)]
        if round_ >= len(VARIANTS):
            label += " %d" % (round_ // len(VARIANTS) + 1)
        factor = (80 + (round_ * 13 + i) % 60) / 100
        vprice = max(5, int(price * factor + 0.5)) * 100
        out.append((100000 + v, 1, gra, 1 + round_ % 9, 0, "%s (%s)" % (name, label), unit,
                    GROUPS[gra][1], vprice, vprice * 35 // 100, kind, max(1, weight) * 0.25,
                    10 if gra != 9 else 20))
    return out


def write_master(out, a, prods):
    digest = hashlib.sha256(("%s/%d" % (a.folder, a.seed)).encode()).hexdigest()
    report_hash = a.hash or digest[:20]
    out.write("INSERT INTO company.maininfo (compname,compfolder,mustID,machID,"
              "yedeklemehash,raporlamahash) VALUES (%s,%s,%d,%s,%s,%s);\n" % (
                  sql_text(a.company), sql_text(a.folder), 4100 + a.seed % 900,
                  sql_text("KASA-%s-01" % digest[20:26].upper()), sql_text(digest[32:64]),
                  sql_text(report_hash)))
    for p in prods:
        out.row("stocks.stckdef (stcode,type,gra,grb,grc,stname,unit,depart)",
                "(%d,%d,%d,%d,%d,%s,%s,%d)" % (p[0], p[1], p[2], p[3], p[4],
                                                sql_text(p[5]), sql_text(p[6]), p[7]))
    out.flush_all()


# ---------------------------------------------------------------------------
# Receipts, order items and money movements

def business_day(t):
    return (t - datetime.timedelta(hours=6)).date()


def day_begin(d):
    return datetime.datetime(d.year, d.month, d.day, 6)


def sales_days(a):
    today = business_day(a.now)
    if a.month:
        first = datetime.date(a.now.year, a.now.month, 1)
        last = calendar.monthrange(first.year, first.month)[1]
        return [first + DAY * k for k in range(last)], today
    return [today - DAY * k for k in range(a.days - 1, -1, -1)], today


def open_seconds(a, d, today):
    """Seconds of business day d that lie in the past (the whole day when it is
    over or when --month asks for whole days)."""
    if a.month or d < today:
        return 24 * 3600
    return max(0, int((a.now - day_begin(d)).total_seconds()))


def hour_weights(limit):
    """Weights of the hours of a business day cut at `limit` seconds."""
    out = []
    for h in range(6, 30):
        start = (h - 6) * 3600
        if start >= limit:
            break
        share = min(1.0, (limit - start) / 3600)
        out.append((h, HOURS[h] * share, min(3600, limit - start)))
    return out


def allocate(total, weights):
    """Splits `total` into whole parts in proportion to `weights`."""
    s = sum(weights) or 1.0
    raw = [total * w / s for w in weights]
    parts = [int(x) for x in raw]
    order = sorted(range(len(raw)), key=lambda k: (parts[k] - raw[k], k))
    for k in order[:total - sum(parts)]:
        parts[k] += 1
    return parts


def receipt_times(rng, d, limit, n):
    """n sorted receipt times in business day d, none later than `limit`
    seconds after its 06:00."""
    begin = day_begin(d)
    hours = hour_weights(limit) if limit > 0 else []
    if not hours:
        return [begin] * n
    cum = []
    acc = 0.0
    for _, w, _ in hours:
        acc += w
        cum.append(acc)
    secs = []
    for _ in range(n):
        k = min(bisect.bisect_right(cum, rng.random() * acc), len(hours) - 1)
        h, _, span = hours[k]
        secs.append((h - 6) * 3600 + int(rng.random() * span))
    secs.sort()
    return [begin + datetime.timedelta(seconds=s) for s in secs]


def weighted(rng, table):
    total = sum(w for _, w in table)
    x = rng.random() * total
    for value, w in table:
        x -= w
        if x < 0:
            return value
    return table[-1][0]


def split_payment(rng, total, ordtyp, forced, cheapest):
    """The eight payment columns (kuruş) of a receipt whose items came to
    `total`; they always add up to it. `forced` (0..7) makes one column
    certain to be used."""
    cols = [0] * 8
    rest = total
    if forced == DISCOUNT or (forced is None and ordtyp in (1, 2, 3, 4) and rng.random() < 0.07):
        cols[DISCOUNT] = min(rest, (total * rng.choice((5, 10, 15)) // 100) // 100 * 100)
        rest -= cols[DISCOUNT]
    if forced == TREAT or (forced is None and ordtyp == 3 and rng.random() < 0.05):
        cols[TREAT] = min(rest, cheapest)
        rest -= cols[TREAT]
    if forced in (CASH, CARD, VOUCHER, NOTE, ACCOUNT, STAFF):
        kind = forced
    else:
        kind = weighted(rng, PAYMENTS[ordtyp])
    if kind == SPLIT:
        cols[CASH] = min(rest, rest // 2 // 100 * 100)
        cols[CARD] = rest - cols[CASH]
    else:
        cols[kind] += rest
    return cols


def write_sales(out, a, rng, prods):
    days, today = sales_days(a)
    limits = [open_seconds(a, d, today) for d in days]
    nreceipts = a.receipts or sum(
        int(120 * WEEKDAY[d.weekday()] * (0.9 + 0.2 * rng.random()) *
            sum(w for _, w, _ in hour_weights(lim)) / sum(HOURS.values()))
        for d, lim in zip(days, limits))
    nreceipts = max(nreceipts, 1)
    nitems = a.items or int(nreceipts * 4.3)
    if nitems < nreceipts:
        sys.exit("pos-demo-data: --items must be at least --receipts (%d)" % nreceipts)

    weights = []
    for d, lim in zip(days, limits):
        open_share = sum(w for _, w, _ in hour_weights(lim)) / sum(HOURS.values())
        weights.append(WEEKDAY[d.weekday()] * (0.9 + 0.2 * rng.random()) * max(open_share, 0.02))
    per_day = allocate(nreceipts, weights)
    if today in days:
        # the current business day always has sales, however early it is,
        # enough to show every order type and payment column when there are
        k = days.index(today)
        want = min(len(FORCED), max(1, nreceipts // len(days)))
        while per_day[k] < want:
            donor = max(range(len(days)), key=lambda j: per_day[j])
            per_day[donor] -= 1
            per_day[k] += 1

    archived_before = today - DAY * a.archive_after
    newest_archived = max((d for d in days if d < archived_before), default=None)

    cum = []
    acc = 0.0
    for p in prods:
        acc += p[11]
        cum.append(acc)
    nprods = len(prods)
    pick = rng.choices
    rnd = rng.random
    qtables = QUANTITIES
    cache = {}
    ordtypes = [t for t, _ in ORDER_TYPES]
    ordcum = []
    acc2 = 0
    for _, w in ORDER_TYPES:
        acc2 += w
        ordcum.append(acc2)

    item_id = 0
    receipts_left = nreceipts
    items_left = nitems
    for d, lim, n in zip(days, limits, per_day):
        if n == 0:
            continue
        archived = d < archived_before
        rtable = "satislar.shpchrtarch" if archived else "satislar.shopcharts"
        itable = "oturum.orderitarch" if archived else "oturum.orderitems"
        twin = d == newest_archived
        begin = day_begin(d)
        times = receipt_times(rng, d, lim, n)
        # a day of at least nine receipts uses every order type and every
        # payment column
        forced = {(k * n) // len(FORCED): f for k, f in enumerate(FORCED)} if n >= len(FORCED) else {}
        base = int(d.strftime("%Y%m%d")) * 1000000
        day_cash = day_card = day_voucher = 0
        for r in range(n):
            t = times[r]
            transid = base + r + 1
            ordtyp, method = forced.get(r, (None, None))
            if ordtyp is None:
                ordtyp = ordtypes[bisect.bisect_right(ordcum, rnd() * acc2)]
            if ordtyp == 3:
                adisno = 1 + int(rnd() * 24)
            elif ordtyp in (1, 7, 8):
                adisno = 100 + int(rnd() * 900)
            else:
                adisno = 0
            # items of this receipt: exactly nitems over all receipts
            mean = items_left / receipts_left
            count = 1 + int(rnd() * (2 * mean - 1))
            count = max(1, min(count, items_left - (receipts_left - 1)))
            if receipts_left == 1:
                count = items_left
            receipts_left -= 1
            items_left -= count
            # table orders come in rounds, ordered before the receipt is closed
            rounds = 1 + (count > 3 and ordtyp == 3) + (count > 7 and ordtyp == 3)
            since = int((t - begin).total_seconds())
            round_times = []
            for k in range(rounds):
                back = min(since, (rounds - k) * 900 + int(rnd() * 600))
                round_times.append(stamp(t - datetime.timedelta(seconds=back)))
            chosen = pick(range(nprods), cum_weights=cum, k=count) if nprods > 1 else [0] * count
            total = 0
            cheapest = None
            rows = []
            for idx in range(count):
                p = prods[chosen[idx]]
                x = rnd()
                status = 0
                reason = 0
                if idx and x < 0.015:
                    status = 1007  # cancelled at the table
                    reason = 1 + int(x * 266)
                    q4, adet = 4, 1
                elif idx and x < 0.035:
                    q4, adet = 0, 0  # a zero line: changed order, nothing served
                else:
                    tab = qtables[p[10]]
                    q4, adet = tab[int(rnd() * len(tab))]
                key = (chosen[idx], q4)
                c = cache.get(key)
                if c is None:
                    tut = (p[8] * q4 + 2) // 4
                    c = (tut, money(tut), money((p[9] * q4 + 2) // 4), "%g" % (q4 / 4),
                         money(p[8]))
                    cache[key] = c
                if status == 0 and q4 > 0:
                    total += c[0]
                    if cheapest is None or c[0] < cheapest:
                        cheapest = c[0]
                o = idx * rounds // count
                rows.append("(%d,%d,%d,%d,%d,%d,%d,%d,%d,%s,%s,%s,%d,%d,%s,%d,'%s')" % (
                    item_id + idx + 1, transid, ordtyp, adisno, o + 1, chosen[idx] + 1, idx + 1,
                    p[0], adet, c[3], c[4], c[1], status, reason, c[2], p[12],
                    round_times[o]))
            item_id += count
            cols = split_payment(rng, total, ordtyp, method, cheapest or 0)
            rrow = "(%d,%d,%d,%s,%s,%s,%s,%s,%s,%s,%s,%s,'%s')" % (
                transid, adisno, ordtyp, money(cols[0]), money(cols[1]), money(cols[2]),
                money(cols[3]), money(cols[4]), money(cols[5]), money(cols[6]), money(cols[7]),
                money(sum(cols)), stamp(t))
            out.row(rtable, rrow)
            for row in rows:
                out.row(itable, row)
            if twin and r < a.duplicates:
                # copied into the archive, not yet deleted from the live table
                out.row("satislar.shopcharts", rrow)
                for row in rows:
                    out.row("oturum.orderitems", row)
            # every payment moves money: cash box, bank (card), meal vouchers
            ts = stamp(t)
            if cols[CASH]:
                out.row("kasa.moves (amount,time)", "(%s,'%s')" % (money(cols[CASH]), ts))
                day_cash += cols[CASH]
            if cols[CARD]:
                out.row("banks.moves (amount,time)", "(%s,'%s')" % (money(cols[CARD]), ts))
                day_card += cols[CARD]
            if cols[VOUCHER]:
                out.row("cekler.moves (amount,time)", "(%s,'%s')" % (money(cols[VOUCHER]), ts))
                day_voucher += cols[VOUCHER]
        # once the day is over (02:15): card commission, voucher commission,
        # and on Mondays half the cash to the bank
        if lim >= 24 * 3600:
            close = stamp(begin + datetime.timedelta(hours=20, minutes=15))
            fee = day_card * 2 // 100
            if fee:
                out.row("banks.moves (amount,time)", "(%s,'%s')" % (money(-fee), close))
            dep = day_cash // 2 // 10000 * 10000 if d.weekday() == 0 else 0
            if dep:
                out.row("kasa.moves (amount,time)", "(%s,'%s')" % (money(-dep), close))
                out.row("banks.moves (amount,time)", "(%s,'%s')" % (money(dep), close))
            fee = day_voucher * 8 // 100
            if fee:
                out.row("cekler.moves (amount,time)", "(%s,'%s')" % (money(-fee), close))
    out.flush_all()


# ---------------------------------------------------------------------------
# Expenses

def write_expenses(out, a, rng):
    for acode, bcode, name in EXPENSE_GROUPS:
        out.row("expenses.grpb (acode,bcode,name)", "(%d,%d,%s)" % (acode, bcode, sql_text(name)))
    for code, bcode, name, *_ in EXPENSE_DEFINITIONS:
        out.row("expenses.expenses (code,bcode,name)", "(%d,%d,%s)" % (code, bcode, sql_text(name)))
    out.flush_all()
    if not a.expenses:
        return []

    year = a.now.year
    start = datetime.datetime(year, 1, 1, 8)
    span = max(1, int((a.now - start).total_seconds()))
    last_year = max(1, a.expenses // 25)
    picks = [(d, d[5]) for d in EXPENSE_DEFINITIONS]
    moves = []
    for k in range(a.expenses):
        if k < last_year:
            t = datetime.datetime(year - 1, 11, 1, 8) + datetime.timedelta(
                seconds=int(rng.random() * 60 * 86400))
        else:
            t = start + datetime.timedelta(seconds=int(rng.random() * span))
        t = t.replace(hour=8 + int(rng.random() * 11))
        if t > a.now:
            t = a.now
        moves.append(t)
    moves.sort()
    # the oldest quarter of this year's movements went out with earlier exports
    earlier = sum(1 for t in moves if t.year < year)
    processed = earlier + (len(moves) - earlier) // 4

    images = []
    rows = []
    for k, t in enumerate(moves):
        d = weighted(rng, picks)
        code, bcode, name, low, high, _, bill = d
        amount = (low * 100 + int(rng.random() * (high - low + 1) * 100)) if high > low else low * 100
        if bill and t.day <= 10:
            # bills paid early in the month belong to the month before
            donem = (t.date().replace(day=1) - DAY).replace(day=1)
        else:
            donem = t.date().replace(day=1)
        if t.year < year:
            donem = min(donem, datetime.date(year - 1, 12, 1))
        transid = 70000000000000 + int(t.strftime("%y%m%d")) * 1000000 + k
        islendi = 1 if donem.year < year or (k < processed and rng.random() < 0.8) else 0
        odemtip = weighted(rng, [(1, 45), (2, 25), (3, 30)] if bill else [(1, 70), (2, 25), (3, 5)])
        img = ""
        if rng.random() < a.image_share:
            img = "gider_%d.png" % transid
            images.append((img, k))
        rows.append((transid, code, odemtip, amount, t, donem, img, islendi, bcode))
        out.row("expenses.moves (transid,giderkodu,odemtip,amount,time,donem,imgfilename,islendi)",
                "(%d,%d,%d,%s,'%s','%s',%s,%d)" % (transid, code, odemtip, money(amount), stamp(t),
                                                   donem.isoformat(), sql_text(img), islendi))
    out.flush_all()

    # notes: one per movement first, then second notes
    order = list(range(len(rows)))
    rng.shuffle(order)
    for k in range(a.notes):
        transid, code, _, amount, t, donem, _, _, bcode = rows[order[k % len(order)]]
        if k == 3:
            text = ("Aylık toplu alım: kuzu incik, dana kıyma, tavuk but ve kanat; "
                    "soğuk zincirle teslim alındı, kantarda tartıldı, eksik 1,5 kg kuyruk "
                    "yağı bir sonraki sevkiyatta gelecek. Fatura aslı muhasebeye verildi, "
                    "kopyası kasada. Ödeme vadesi 30 gün, ilk taksit ay sonunda. Tedarikçi "
                    "yetkilisi: Ahmet Bey, telefon 0212 555 01 02.")
        else:
            text = rng.choice(NOTES[bcode]).format(
                n=1 + int(rng.random() * 40), f="A-%06d" % int(rng.random() * 999999),
                m=MONTHS[donem.month - 1])
            if k >= len(rows):
                text = "Ek: " + text
        out.row("expenses.notes (trid,note)", "(%d,%s)" % (transid, sql_text(text)))
    out.flush_all()
    return images


# ---------------------------------------------------------------------------
# Receipt images: small PNG files, made here

def png(width, height, pixels):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + bytes(pixels[y * width:(y + 1) * width]) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def receipt_image(seed):
    """A small grey picture of a till receipt: a heading, lines of text and
    the total under a rule."""
    r = random.Random(seed)
    w, h = 48, 96
    px = [238] * (w * h)

    def bar(x0, x1, y, shade):
        for y2 in (y, y + 1):
            for x in range(x0, x1):
                px[y2 * w + x] = shade

    bar(12, 36, 4, 40)
    bar(16, 32, 8, 90)
    for y in range(16, h - 20, 5):
        bar(4, 4 + 10 + int(r.random() * 16), y, 70 + int(r.random() * 40))
        bar(w - 14, w - 4, y, 70)
    for x in range(4, w - 4, 2):
        px[(h - 16) * w + x] = 60
    bar(4, 18, h - 11, 20)
    bar(w - 20, w - 4, h - 11, 20)
    return png(w, h, px)


def write_images(folder, images, seed):
    os.makedirs(folder, exist_ok=True)
    for name, k in images:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(receipt_image(seed * 100003 + k))


def main():
    a = parse_args()
    rng = random.Random(a.seed)
    stream = open(sys.stdout.fileno(), "w", encoding="utf-8", newline="\n",
                  buffering=1 << 20, closefd=False)
    out = Out(stream, a.batch)
    out.write("-- demo point-of-sale data, seed %d, now %s\n" % (a.seed, stamp(a.now)))
    out.write("SET NAMES utf8mb4;\nSET autocommit=0;\n")
    if a.truncate:
        for t in ("company.maininfo", "stocks.stckdef", "satislar.shopcharts",
                  "satislar.shpchrtarch", "oturum.orderitems", "oturum.orderitarch",
                  "banks.moves", "cekler.moves", "kasa.moves", "expenses.grpb",
                  "expenses.expenses", "expenses.moves", "expenses.notes"):
            out.write("TRUNCATE TABLE %s;\n" % t)
    prods = products(a.products)
    write_master(out, a, prods)
    write_sales(out, a, random.Random(a.seed * 7919 + 1), prods)
    images = write_expenses(out, a, random.Random(a.seed * 7919 + 2))
    out.write("COMMIT;\n")
    stream.flush()
    if a.images:
        write_images(a.images, images, a.seed)


if __name__ == "__main__":
    try:
        main()
    except BrokenPipeError:
        sys.exit(1)
