#!/usr/bin/env python3
"""Writes the binary resources of Sweepwell.exe next to this script.

- a_main.ico, idi_association.ico, idi_no_long.ico: one 32 x 32 image with the 16 colours of the
  standard VGA palette each, drawn here from a few shapes (a broom; the broom on a page, for
  script files; the broom under a prohibition sign, for runs without the long clean-ups);
- description-1251.txt: the program's description for its about box, in code page 1251 with
  CR LF line ends, as the program reads it.

The outputs are checked in; run this again after changing a drawing or the description.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 32

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, OLIVE, SILVER, GREY, RED, YELLOW, WHITE = 0, 1, 3, 7, 8, 9, 11, 15

DESCRIPTION = """\
Sweep well чистит диск по сценарию: удаляет временные файлы, старые журналы,
пустые папки и ссылки на папки (junctions), перечисленные в файле скрипта.

Скрипт - текстовый файл на языке Лоом, по одной команде объекта cleaner в строке:
выбрать файлы по маске, по списку или по возрасту, удалить папку целиком,
отправить файлы в Корзину или удалить их навсегда, подвести итог.

Запуск: Sweepwell.exe [/NoLong] ФайлСкрипта
Ключ /NoLong запрещает длинные операции - команды, имя которых оканчивается
на -long; так скрипт можно выполнять часто, а долгую чистку оставить на потом.

Всё, что выводится в окно во время работы, дописывается в журнал месяца
%APPDATA%\\Greyfen Works\\Sweep Well\\Sweep ГГГГ-ММ.LOG.

Пока скрипт выполняется, окно не закрывается; после строки
"Нажмите любую клавишу . . ." его закрывает любая клавиша, кроме F1."""


class Canvas:
    """A 32 x 32 picture; None is a transparent pixel."""

    def __init__(self):
        self.pixels = [[None] * SIZE for _ in range(SIZE)]

    def put(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][x] = colour

    def polygon(self, points, colour):
        """Fills the pixels whose centres lie inside the polygon (even-odd rule)."""
        for y in range(SIZE):
            for x in range(SIZE):
                if inside(points, x + 0.5, y + 0.5):
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dx in range(width):
                for dy in range(width):
                    self.put(x + dx, y + dy, colour)

    def ring(self, cx, cy, outer, inner, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if inner <= d <= outer:
                    self.put(x, y, colour)


def inside(points, x, y):
    result = False
    for i in range(len(points)):
        (x0, y0), (x1, y1) = points[i], points[i - 1]
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            result = not result
    return result


def broom(canvas, dx=0, dy=0, scale=1.0):
    def p(x, y):
        return (dx + x * scale, dy + y * scale)

    # The stick, from the top right corner down to the binding.
    canvas.line(round(dx + 27 * scale), round(dy + 2 * scale), round(dx + 15 * scale),
                round(dy + 14 * scale), OLIVE, 2 if scale > 0.7 else 1)
    # The bristles, a fan to the bottom left, with darker strands.
    canvas.polygon([p(12, 14), p(18, 20), p(10, 30), p(1, 21)], YELLOW)
    for start, end in (((14, 17), (6, 27)), ((12, 16), (3, 24)), ((16, 19), (9, 29))):
        canvas.line(round(dx + start[0] * scale), round(dy + start[1] * scale),
                    round(dx + end[0] * scale), round(dy + end[1] * scale), OLIVE)
    # The binding.
    canvas.polygon([p(12, 13), p(14, 11), p(20, 17), p(18, 19)], MAROON)


def main_icon():
    canvas = Canvas()
    broom(canvas)
    return canvas


def association_icon():
    canvas = Canvas()
    page = [(5, 1), (21, 1), (27, 7), (27, 31), (5, 31)]
    canvas.polygon(page, WHITE)
    for a, b in zip(page, page[1:] + page[:1]):
        canvas.line(a[0], a[1], b[0], b[1], GREY)
    canvas.polygon([(21, 1), (27, 7), (21, 7)], SILVER)
    for y in (5, 8, 11):
        canvas.line(8, y, 18, y, GREY)
    broom(canvas, dx=6, dy=12, scale=0.6)
    return canvas


def no_long_icon():
    canvas = Canvas()
    broom(canvas)
    canvas.ring(16, 16, 15.5, 12.5, RED)
    canvas.line(6, 6, 25, 25, RED, 3)
    return canvas


def ico_bytes(canvas):
    """One 4-bit image in an icon file: header, directory entry, bitmap header, palette, the
    colour rows and the transparency mask (both bottom-up)."""
    colour_rows = b""
    mask_rows = b""
    for row in reversed(canvas.pixels):
        nibbles = [BLACK if c is None else c for c in row]
        colour_rows += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c is None else 0)
        mask_rows += struct.pack(">I", bits)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = (struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(colour_rows) + len(mask_rows), 0, 0, 16, 0)
             + palette + colour_rows + mask_rows)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return header + entry + image


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(data)


def main():
    write("a_main.ico", ico_bytes(main_icon()))
    write("idi_association.ico", ico_bytes(association_icon()))
    write("idi_no_long.ico", ico_bytes(no_long_icon()))
    write("description-1251.txt", DESCRIPTION.replace("\n", "\r\n").encode("cp1251"))


if __name__ == "__main__":
    main()
