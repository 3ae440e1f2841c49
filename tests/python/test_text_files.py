"""orvFSO's text and binary members as a script author uses them: the bytes on disk are what
Python's own codecs make of the same text, and reading gives the text back."""

import codecs
import os
import random
import unittest

from quern_testing import FolderTest, quern

TEXT = "Привет, мир! Ünïcödé \U0001d11e tab\tand CR LF\r\n end"

# (Encoding, FileBOM, InvertBytes) -> how Python writes the same file.
FORMATS = {
    (quern.feANSI, quern.fbNoBOM, quern.ibDontInvertBytes): lambda t: t.encode("utf-8"),
    (quern.feANSI, quern.fbBOM, quern.ibDontInvertBytes): lambda t: t.encode("utf-8"),
    (quern.feUTF8, quern.fbBOM, quern.ibDontInvertBytes): lambda t: codecs.BOM_UTF8
    + t.encode("utf-8"),
    (quern.feUTF8, quern.fbNoBOM, quern.ibDontInvertBytes): lambda t: t.encode("utf-8"),
    (quern.feUTF16, quern.fbBOM, quern.ibDontInvertBytes): lambda t: codecs.BOM_UTF16_LE
    + t.encode("utf-16-le"),
    (quern.feUTF16, quern.fbNoBOM, quern.ibDontInvertBytes): lambda t: t.encode("utf-16-le"),
    (quern.feUTF16, quern.fbBOM, quern.ibInvertBytes): lambda t: codecs.BOM_UTF16_BE
    + t.encode("utf-16-be"),
    (quern.feUTF16, quern.fbNoBOM, quern.ibInvertBytes): lambda t: t.encode("utf-16-be"),
}


class TextRoundTrip(FolderTest):
    def test_put_file2_writes_what_python_codecs_write_and_get_file2_reads_it_back(self):
        fso = quern.orvFSO()
        for (encoding, bom, invert), encode in FORMATS.items():
            with self.subTest(encoding=encoding, bom=bom, invert=invert):
                name = self.path("put.txt")
                self.assertIs(fso.PutFile2(name, TEXT, True, encoding, bom, invert), True)
                self.assertEqual(self.read_bytes("put.txt"), encode(TEXT))
                # Without a mark the reader must be told the format; with one it detects it.
                given = (encoding, bom, invert) if bom == quern.fbNoBOM else (0, 0, 0)
                self.assertEqual(fso.GetFile2(name, True, *given), TEXT)

    def test_overwrite_file2_writes_the_same_bytes_and_answers_255(self):
        fso = quern.orvFSO()
        for (encoding, bom, invert), encode in FORMATS.items():
            with self.subTest(encoding=encoding, bom=bom, invert=invert):
                name = self.write_bytes("over.txt", b"old contents that are longer than the new")
                result = fso.OverwriteFile2(name, TEXT, Encoding=encoding, FileBOM=bom,
                                            InvertBytes=invert)
                self.assertEqual(result, 255)
                self.assertEqual(self.read_bytes("over.txt"), encode(TEXT))

    def test_append_file2_keeps_the_format_of_the_file_and_reports_it(self):
        name = self.write_bytes("be.txt", codecs.BOM_UTF16_BE + "first".encode("utf-16-be"))
        encoding, bom, invert = quern.Ref(), quern.Ref(), quern.Ref()
        self.assertTrue(quern.AppendFile2(name, " second", lpEncoding=encoding, lpFileBOM=bom,
                                          lpInvertBytes=invert))
        self.assertEqual(self.read_bytes("be.txt"),
                         codecs.BOM_UTF16_BE + "first second".encode("utf-16-be"))
        self.assertEqual((encoding.value, bom.value, invert.value),
                         (quern.feUTF16, quern.fbBOM, quern.ibInvertBytes))
        self.assertIsInstance(encoding.value, quern.FileEncodingConst)

    def test_get_file_format2_detects_each_mark(self):
        cases = [
            (codecs.BOM_UTF8 + b"abc", (quern.feUTF8, quern.fbBOM, quern.ibDontInvertBytes)),
            (codecs.BOM_UTF16_LE + b"a\0", (quern.feUTF16, quern.fbBOM, quern.ibDontInvertBytes)),
            (codecs.BOM_UTF16_BE + b"\0a", (quern.feUTF16, quern.fbBOM, quern.ibInvertBytes)),
            (b"plain", (quern.feANSI, quern.fbNoBOM, quern.ibDontInvertBytes)),
        ]
        for data, expected in cases:
            with self.subTest(data=data):
                name = self.write_bytes("format.txt", data)
                refs = [quern.Ref(), quern.Ref(), quern.Ref()]
                self.assertTrue(quern.GetFileFormat2(name, False, *refs))
                self.assertEqual(tuple(r.value for r in refs), expected)


class Utf8AgainstPython(FolderTest):
    def test_any_byte_mix_decodes_and_encodes_as_python_does(self):
        # Pieces that meet every fast path and every kind of bad sequence at random offsets:
        # the decoder must replace exactly what Python's replaces (one U+FFFD per maximal
        # invalid subpart), and valid text must encode to Python's bytes.
        pieces = [b"a", b" ", b"\xd0\xb6", b"\xe6\x97\xa5", b"\xf0\x9f\x98\x80", b"\x80",
                  b"\xc3", b"\xe6\x97", b"\xff", b"\xed\xa0\x80", b"\xc0\xaf", b"\r\n"]
        rng = random.Random(7)
        name = self.path("mix.txt")
        for _ in range(1500):
            data = b"".join(rng.choice(pieces) for _ in range(rng.randint(0, 60)))
            self.write_bytes("mix.txt", data)
            text = quern.GetFile2(name, True, quern.feUTF8, quern.fbNoBOM)
            self.assertEqual(text, data.decode("utf-8", "replace"), data)
            quern.PutFile2(name, text, True, quern.feUTF8, quern.fbNoBOM)
            self.assertEqual(self.read_bytes("mix.txt"), text.encode("utf-8"), data)


class GetFile2OutValues(FolderTest):
    def test_out_values_report_the_format_and_the_success(self):
        name = self.write_bytes("u8.txt", codecs.BOM_UTF8 + TEXT.encode("utf-8"))
        encoding, bom, invert, success = quern.Ref(), quern.Ref(), quern.Ref(), quern.Ref()
        text = quern.GetFile2(name, lpEncoding=encoding, lpFileBOM=bom, lpInvertBytes=invert,
                              lpSuccess=success)
        self.assertEqual(text, TEXT)
        self.assertEqual((encoding.value, bom.value, invert.value),
                         (quern.feUTF8, quern.fbBOM, quern.ibDontInvertBytes))
        self.assertIs(success.value, True)

    def test_a_missing_file_gives_empty_text_and_success_false(self):
        success = quern.Ref(True)
        self.assertEqual(quern.GetFile2(self.path("absent.txt"), lpSuccess=success), "")
        self.assertIs(success.value, False)

    def test_raise_errors_raises_error_53_from_orvfso_and_still_writes_the_out_value(self):
        success = quern.Ref(True)
        with self.assertRaises(quern.Error) as raised:
            quern.GetFile2(self.path("absent.txt"), RaiseErrors=True, lpSuccess=success)
        self.assertEqual(raised.exception.number, 53)
        self.assertEqual(raised.exception.source, "orvFSO")
        self.assertTrue(raised.exception.description)
        self.assertIs(success.value, False)

    def test_a_format_argument_out_of_range_raises_error_5_whatever_raise_errors_says(self):
        name = self.write_bytes("x.txt", b"x")
        with self.assertRaises(quern.Error) as raised:
            quern.GetFile2(name, RaiseErrors=False, Encoding=7)
        self.assertEqual((raised.exception.number, raised.exception.source), (5, "orvFSO"))

    def test_a_member_that_raises_hands_back_the_false_success_it_set_first(self):
        # A caller that catches the error and reads the flag must not see the True it passed.
        name = self.write_bytes("x.txt", b"x")
        calls = [
            (53, lambda ok: quern.GetFileB(self.path("absent.bin"), True, ok)),
            (5, lambda ok: quern.GetFile2(name, True, 4, lpSuccess=ok)),
            (53, lambda ok: quern.ReadStandardListFile2(self.path("absent.txt"), RaiseErrors=True,
                                                        lpSuccess=ok)),
        ]
        for number, call in calls:
            success = quern.Ref(True)
            with self.assertRaises(quern.Error) as raised:
                call(success)
            self.assertEqual(raised.exception.number, number)
            self.assertIs(success.value, False, number)


class BinaryFiles(FolderTest):
    def test_bytes_bytearray_and_memoryview_are_written_and_read_back_as_bytes(self):
        data = bytes(range(256)) * 3
        for value in (data, bytearray(data), memoryview(data), memoryview(data * 2)[::2]):
            with self.subTest(kind=type(value).__name__):
                name = self.path("bin")
                self.assertIs(quern.PutFileB(name, value), True)
                expected = bytes(value)
                self.assertEqual(self.read_bytes("bin"), expected)
                read = quern.GetFileB(name)
                self.assertIs(type(read), bytes)
                self.assertEqual(read, expected)

    def test_a_large_file_comes_back_byte_for_byte(self):
        # Beyond 4 MiB the bytes object's memory is prepared in large pages before the copy.
        data = random.Random(7).randbytes(9 * 1024 * 1024 + 13)
        name = self.write_bytes("large.bin", data)
        read = quern.GetFileB(name)
        self.assertIs(type(read), bytes)
        self.assertEqual(read, data)

    def test_get_file_b_out_value_and_failures_as_the_library_reports_them(self):
        name = self.write_bytes("bin", b"abc")
        success = quern.Ref(False)
        self.assertEqual(quern.GetFileB(name, False, success), b"abc")
        self.assertIs(success.value, True)
        # A missing file or a folder: empty bytes and False, or error 53 with the out-value
        # written all the same.
        for missing in (self.path("absent"), self.folder):
            with self.subTest(name=missing):
                success = quern.Ref(True)
                self.assertEqual(quern.GetFileB(missing, False, success), b"")
                self.assertIs(success.value, False)
                success = quern.Ref(True)
                with self.assertRaises(quern.Error) as raised:
                    quern.GetFileB(missing, True, success)
                self.assertEqual(raised.exception.number, 53)
                self.assertEqual(raised.exception.filename, missing)
                self.assertIs(success.value, False)
        self.assertEqual(quern.GetFileB(self.write_bytes("empty", b"")), b"")

    def test_get_file_b_reads_a_file_that_reports_no_size_to_its_end(self):
        # /proc files have size 0 and contents all the same: read on past the size told.
        read = quern.GetFileB("/proc/self/stat")
        self.assertIs(type(read), bytes)
        self.assertTrue(read.startswith(str(os.getpid()).encode() + b" ("))

    def test_append_and_overwrite_file_b(self):
        name = self.write_bytes("bin", b"0123456789")
        self.assertTrue(quern.AppendFileB(name, b"AB"))
        self.assertEqual(self.read_bytes("bin"), b"0123456789AB")
        self.assertTrue(quern.OverwriteFileB(name, b"xy"))
        self.assertEqual(self.read_bytes("bin"), b"xy")

    def test_file_names_with_bytes_that_do_not_decode_reach_the_same_file(self):
        raw = os.path.join(os.fsencode(self.folder), b"bad-\xff\xfe-name")
        with open(raw, "wb") as file:
            file.write(b"payload")
        name = os.fsdecode(raw)  # carries the two bytes as lone surrogates
        self.assertEqual(quern.GetFileB(name), b"payload")
        self.assertTrue(quern.PutFile2(name, "new"))
        with open(raw, "rb") as file:
            self.assertEqual(file.read(), b"new")

    def test_a_large_file_comes_back_as_one_str(self):
        size = 200 * 1024 * 1024
        name = self.path("large.txt")
        with open(name, "wb") as file:
            file.write(b"abcdefgh" * (size // 8))
        text = quern.GetFile2(name, Encoding=quern.feUTF8, FileBOM=quern.fbNoBOM)
        self.assertEqual(len(text), size)
        self.assertEqual(text[:8], "abcdefgh")
        self.assertEqual(text[-8:], "abcdefgh")


if __name__ == "__main__":
    unittest.main()
