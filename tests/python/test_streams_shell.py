"""Streams of a file and what the shell knows about it, through a script author's eyes:
orvFileStreams with its FileStream items, orvShellFileInfo with its icons (pictures), executable
type and caching, and a private icon theme and MIME database in a separate process."""

import os
import struct
import subprocess
import sys
import textwrap
import unittest

from quern_testing import FolderTest, quern


def user_attributes_work(path):
    try:
        os.setxattr(path, "user.probe", b"")
        os.removexattr(path, "user.probe")
        return True
    except OSError:
        return False


def windowed_pe(major, minor):
    """An MZ header leading to a PE32 header of a windowed program needing `major.minor`."""
    dos = bytearray(0x80)
    dos[0:2] = b"MZ"
    dos[0x3C:0x40] = struct.pack("<I", 0x80)
    pe = bytearray(24 + 224)
    pe[0:4] = b"PE\0\0"
    struct.pack_into("<HH", pe, 20, 224, 0x0102)  # optional header size, characteristics
    struct.pack_into("<H", pe, 24, 0x10B)
    struct.pack_into("<HH", pe, 24 + 48, major, minor)
    struct.pack_into("<H", pe, 24 + 68, 2)
    return bytes(dos + pe)


class Streams(FolderTest):
    def setUp(self):
        super().setUp()
        self.file = self.write_bytes("file.bin", b"0123456789")
        if not user_attributes_work(self.file):
            self.skipTest("the temporary folder keeps no user attributes")

    def test_items_enumeration_and_names(self):
        os.setxattr(self.file, "user.Zone.Identifier", b"[ZoneTransfer]\r\nZoneId=3\r\n")
        streams = quern.orvFileStreams()
        self.assertTrue(streams.ReadFileStreams(self.file))
        self.assertEqual(len(streams), 2)
        data, zone = streams[0], streams[1]
        self.assertEqual((data.StreamID, data.Name, data.ShortName, data.Size), (1, "::$DATA", "", 10.0))
        self.assertTrue(data.StreamIDData)
        self.assertEqual((zone.StreamID, zone.Name, zone.ShortName, zone.Size),
                         (4, ":Zone.Identifier:$DATA", "Zone.Identifier", 26.0))
        self.assertEqual([s.Name for s in streams], [streams.Item(i).Name for i in range(2)])

    def test_errors_and_a_missing_file(self):
        streams = quern.orvFileStreams()
        with self.assertRaises(quern.Error) as empty:
            streams.Item(0)
        self.assertEqual(empty.exception.number, 5)
        with self.assertRaises(quern.Error) as overflow:
            streams.Item(2147483647)
        self.assertEqual(overflow.exception.number, 6)
        self.assertFalse(streams.ReadFileStreams(self.path("missing"), True))
        self.assertEqual(streams.Count, 0)

    def test_file_stream_is_not_creatable(self):
        with self.assertRaises(quern.Error) as refused:
            quern.CreateObject("Quern0102.FileStream")
        self.assertEqual(refused.exception.number, 429)
        self.assertTrue(quern.CreateObject("Quern0102.orvFileStreams").ReadFileStreams(self.file))


class ShellInfo(FolderTest):
    def test_text_file_folder_and_missing_file(self):
        info = quern.orvShellFileInfo()
        self.assertIsNone(info.Icon)
        self.assertIsNone(info.EXEType)
        text = self.write_bytes("notes.txt", b"words\n")
        self.assertTrue(info.ReadFile(text))
        self.assertEqual(info.DisplayName, "notes.txt")
        self.assertTrue(info.TypeName)
        self.assertTrue(info.ReadFile(self.folder))
        self.assertTrue(info.Attributes & 0x20000000)
        self.assertFalse(info.ReadFile(self.path("missing")))
        self.assertEqual((info.DisplayName, info.TypeName, info.Attributes), ("", "", 0))
        self.assertIsNone(info.SmallIcon)

    def test_icon_picture_and_caching(self):
        info = quern.orvShellFileInfo()
        self.assertTrue(info.ReadFile(self.write_bytes("notes.txt", b"words\n")))
        icon = info.Icon
        self.assertEqual(type(icon).__name__, "ShellFileIcon")
        picture = icon.Icon
        self.assertEqual((picture.Type, picture.Size, picture.Width, picture.Height), (3, 32, 847, 847))
        self.assertNotEqual(picture.Handle, 0)
        if picture.FileName:
            self.assertTrue(os.path.isfile(picture.FileName))
        self.assertEqual(info.Icon.Index, icon.Index)
        self.assertEqual(info.ShellSizeIcon.Icon.Size, 48)

    def test_exe_type(self):
        info = quern.orvShellFileInfo()
        self.assertTrue(info.ReadFile(self.write_bytes("app.exe", windowed_pe(5, 1))))
        exe = info.EXEType
        self.assertEqual((exe.Signature, exe.OSVersionMajor, exe.OSVersionMinor), ("PE", 5, 1))
        for progid in ("Quern0102.ShellFileEXE", "Quern0102.ShellFileIcon"):
            with self.assertRaises(quern.Error) as refused:
                quern.CreateObject(progid)
            self.assertEqual(refused.exception.number, 429)


# Run in a fresh process, since the databases are read once per process.
_PRIVATE_DATABASES = textwrap.dedent("""
    import json, quern, sys
    info = quern.orvShellFileInfo()
    results = {}
    for name in sys.argv[1:]:
        ok = info.ReadFile(name)
        results[name] = [ok, info.TypeName, info.IconLocation, info.Icon.Index,
                         info.Icon.Icon.FileName, info.SmallIcon.Icon.FileName,
                         info.SmallIcon.Icon.Size]
    print(json.dumps(results))
""")


class PrivateDatabases(FolderTest):
    def run_isolated(self, data_dirs, theme, *names):
        env = dict(os.environ, XDG_DATA_DIRS=data_dirs, ORVANEL_ICON_THEME=theme,
                   XDG_DATA_HOME=self.path("data"), HOME=self.path("home"), LC_ALL="C.UTF-8")
        output = subprocess.run([sys.executable, "-c", _PRIVATE_DATABASES, *names], env=env,
                                check=True, capture_output=True, text=True).stdout
        import json
        return json.loads(output)

    def test_without_any_database_or_theme_the_default_icon_has_no_file(self):
        text = self.write_bytes("notes.txt", b"words\n")
        result = self.run_isolated(self.path("nothing"), "NoSuchTheme", text)[text]
        # Without shared-mime-info the type is named by the content check alone.
        self.assertEqual(result[:3], [True, "text/plain", ""])
        self.assertEqual(result[3:], [-1, "", "", 16])

    def test_a_private_theme_and_type_are_used(self):
        data = self.path("data")
        os.makedirs(os.path.join(data, "mime", "application"))
        with open(os.path.join(data, "mime", "globs2"), "w") as globs:
            globs.write("50:application/x-quern-test:*.qtest\n")
        with open(os.path.join(data, "mime", "application", "x-quern-test.xml"), "w") as xml:
            xml.write('<?xml version="1.0"?>\n<mime-type type="application/x-quern-test">'
                      '<comment>Quern &amp; test</comment>'
                      '<comment xml:lang="ru">Тест</comment></mime-type>\n')
        theme = os.path.join(data, "icons", "Tiny")
        for sub in ("16x16/mimetypes", "scalable/mimetypes"):
            os.makedirs(os.path.join(theme, sub))
        with open(os.path.join(theme, "index.theme"), "w") as index:
            index.write("[Icon Theme]\nName=Tiny\nDirectories=16x16/mimetypes,scalable/mimetypes\n\n"
                        "[16x16/mimetypes]\nSize=16\nType=Fixed\n\n"
                        "[scalable/mimetypes]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n")
        small = os.path.join(theme, "16x16/mimetypes/application-x-quern-test.png")
        scalable = os.path.join(theme, "scalable/mimetypes/application-x-quern-test.svg")
        for path in (small, scalable):
            open(path, "w").close()
        sample = self.write_bytes("sample.qtest", b"\0\1\2")
        result = self.run_isolated(self.path("nothing"), "Tiny", sample)[sample]
        self.assertEqual(result[:3], [True, "Quern & test", scalable])
        self.assertGreaterEqual(result[3], 0)
        self.assertEqual(result[4:], [scalable, small, 16])


if __name__ == "__main__":
    unittest.main()
