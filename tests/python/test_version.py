"""orvFileVersion against python3-pefile on real Windows executables shipped by Debian
(tests/fileio/fixtures, see its README), and the class's behaviour seen from a script."""

import json
import os
import struct
import subprocess
import unittest

from quern_testing import FolderTest, quern

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fileio", "fixtures")
FIXTURE_NAMES = ["distlib-t32.exe", "distlib-w64.exe", "libwinpthread-1-i686.dll",
                 "ipxe-snponly.efi"]

# pefile is installed for Debian's Python, which the build's Python may not see: it runs in
# its own process and tells what it read as JSON.
PEFILE_DUMP = r"""
import json, sys
import pefile

def dump(path):
    pe = pefile.PE(path)
    result = {"version": False}
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return result
    f = fixed[0]
    result["version"] = True
    result["fixed"] = [f.Signature, f.StrucVersion, f.FileVersionMS, f.FileVersionLS,
                       f.ProductVersionMS, f.ProductVersionLS, f.FileFlagsMask, f.FileFlags,
                       f.FileOS, f.FileType, f.FileSubtype, f.FileDateMS, f.FileDateLS]
    result["tables"] = {}
    result["translations"] = []
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            result["tables"][table.LangID.decode().upper()] = {
                k.decode("utf-8"): v.decode("utf-8") for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            for value in var.entry.values():
                for pair in value.split(","):
                    language, code_page = pair.split()
                    result["translations"].append([int(language, 16), int(code_page, 16)])
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != 16:
            continue
        language = kind.directory.entries[0].directory.entries[0]
        data = pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
        length = int.from_bytes(data[:2], "little")
        result["block"] = data[:min(len(data), length)].hex()
    return result

json.dump({path: dump(path) for path in sys.argv[1:]}, sys.stdout)
"""


def pefile_view(paths):
    """pefile's reading of each file, or None when Debian's Python has no pefile."""
    try:
        run = subprocess.run(["/usr/bin/python3", "-c", PEFILE_DUMP, *paths],
                             capture_output=True, text=True, timeout=120)
    except OSError:
        return None
    if run.returncode != 0:
        return None
    return json.loads(run.stdout)


def signed16(value):
    return value - 0x10000 if value & 0x8000 else value


def signed32(value):
    return value - 0x100000000 if value & 0x80000000 else value


def chosen_key(translations, user_language):
    """The first three rules of the table choice, for the user's language (enough for these
    fixtures, which all carry an English (United States) entry); None when they do not decide."""
    for rule in (lambda l, c: l == user_language and c == 1200,
                 lambda l, c: l == user_language):
        for language, code_page in translations:
            if rule(language, code_page):
                return "%04X%04X" % (language, code_page)
    return None if translations else "040904B0"


STRING_PROPERTIES = ["Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                     "LegalCopyright", "LegalTrademarks", "OLESelfRegister", "OriginalFilename",
                     "PrivateBuild", "ProductName", "ProductVersion", "SpecialBuild"]


class AgainstPefile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.paths = [os.path.normpath(os.path.join(FIXTURES, name)) for name in FIXTURE_NAMES]
        cls.expected = pefile_view(cls.paths)

    def setUp(self):
        if self.expected is None:
            self.skipTest("/usr/bin/python3 cannot import pefile (apt-get install python3-pefile)")

    def test_every_fixture_loads_or_fails_as_pefile_says(self):
        for path in self.paths:
            with self.subTest(os.path.basename(path)):
                version = quern.orvFileVersion()
                self.assertEqual(version.ReadFile(path), self.expected[path]["version"])
                self.assertEqual(version.FileName, path if self.expected[path]["version"] else "")

    def test_fixed_info_block_and_flags(self):
        for path in self.paths:
            view = self.expected[path]
            if not view["version"]:
                continue
            with self.subTest(os.path.basename(path)):
                version = quern.orvFileVersion()
                self.assertTrue(version.ReadFile(path))
                self.assertEqual(version.GetBuffer().hex(), view["block"])
                (signature, struc, file_ms, file_ls, product_ms, product_ls, mask, flags, os_,
                 kind, subtype, date_ms, date_ls) = view["fixed"]
                self.assertEqual(version.Signature, signed32(signature))
                self.assertEqual(version.StrucVersion, signed32(struc))
                self.assertEqual([version.FileVerMajor, version.FileVerMinor,
                                  version.FileVerRevisionMajor, version.FileVerRevisionMinor],
                                 [signed16(file_ms >> 16), signed16(file_ms & 0xFFFF),
                                  signed16(file_ls >> 16), signed16(file_ls & 0xFFFF)])
                self.assertEqual([version.ProductVerMajor, version.ProductVerMinor,
                                  version.ProductVerRevisionMajor,
                                  version.ProductVerRevisionMinor],
                                 [signed16(product_ms >> 16), signed16(product_ms & 0xFFFF),
                                  signed16(product_ls >> 16), signed16(product_ls & 0xFFFF)])
                self.assertEqual([version.FileOS, version.FileType, version.FileSubType],
                                 [signed32(os_), signed32(kind), signed32(subtype)])
                self.assertEqual([version.FileDateMS, version.FileDateLS],
                                 [signed32(date_ms), signed32(date_ls)])
                bits = [("Debug", 1), ("PreRelease", 2), ("Patched", 4), ("PrivateBuild", 8),
                        ("InfoInferred", 0x10), ("SpecialBuild", 0x20)]
                for name, bit in bits:
                    self.assertEqual(getattr(version, "FileFlag" + name), bool(flags & bit))
                    self.assertEqual(getattr(version, "FileFlagMask" + name), bool(mask & bit))

    def test_strings_of_the_chosen_table_and_none_of_a_missing_one(self):
        for path in self.paths:
            view = self.expected[path]
            if not view["version"]:
                continue
            key = chosen_key([tuple(t) for t in view["translations"]], 0x0409)
            if key is None:
                continue
            with self.subTest(os.path.basename(path)):
                version = quern.orvFileVersion()
                self.assertTrue(version.ReadFile(path))
                table = view["tables"].get(key, {})
                for name, text in table.items():
                    self.assertEqual(version.GetVersionInfoString(name), text, name)
                for name in STRING_PROPERTIES:
                    self.assertEqual(getattr(version, "Str" + name), table.get(name, ""), name)
                self.assertEqual(version.LanguageName, quern.orvFileVersion().GetLanguageName(
                    int(key[:4], 16)))

    def test_a_translation_without_its_table_reads_empty_strings(self):
        # distlib's launchers list 0409/04B0 but carry their strings under 0809/04B0.
        path = os.path.normpath(os.path.join(FIXTURES, "distlib-t32.exe"))
        self.assertEqual(self.expected[path]["translations"], [[0x0409, 1200]])
        self.assertIn("080904B0", self.expected[path]["tables"])
        version = quern.orvFileVersion()
        self.assertTrue(version.ReadFile(path))
        self.assertEqual(version.StrCompanyName, "")
        self.assertEqual(version.LanguageName, "English (United States)")


class Behaviour(FolderTest):
    def test_created_by_progid_and_by_name(self):
        self.assertEqual(type(quern.CreateObject("Quern0102.orvFileVersion")).__name__,
                         "orvFileVersion")
        # The library keeps its own description; the package documents the member in English.
        info = next(c for c in quern.type_library["classes"] if c["name"] == "orvFileVersion")
        member = next(m for m in info["members"] if m["name"] == "GetLanguageName")
        self.assertEqual(member["description"], "Возвращает имя языка по коду")
        self.assertIn("language", quern.orvFileVersion.GetLanguageName.__doc__)

    def test_a_file_without_a_version_leaves_the_object_empty(self):
        version = quern.orvFileVersion()
        for data in (b"", b"MZ" + b"\0" * 200, b"plain text"):
            self.assertFalse(version.ReadFile(self.write_bytes("x.exe", data)))
            self.assertEqual(version.FileName, "")
            self.assertEqual(version.GetBuffer(), b"")
            self.assertEqual(version.LanguageName, "")
            self.assertEqual(version.Signature, 0)
            self.assertFalse(version.FileFlagMaskDebug)
        self.assertFalse(version.ReadFile(self.path("missing.dll")))

    def test_language_names(self):
        version = quern.orvFileVersion()
        self.assertEqual(version.GetLanguageName(0x0409), "English (United States)")
        self.assertEqual(version.GetLanguageName(0x0419), "Russian")
        self.assertEqual(version.GetLanguageName(0), "Language Neutral")
        self.assertEqual(version.GetLanguageName(LanguageID=0x0407), "German (Germany)")

    def test_the_library_file_reads_as_the_library(self):
        quern.orvFileVersion()  # the library is loaded by now
        with open("/proc/self/maps") as maps:
            paths = {line.split(None, 5)[-1].strip() for line in maps if "libquern0102" in line}
        if not paths:
            self.skipTest("the library's file is not in the process's map")
        version = quern.orvFileVersion()
        self.assertTrue(version.ReadFile(paths.pop()))
        self.assertEqual(version.Signature, -17890115)
        self.assertEqual(version.StrFileVersion, "1.02.0029")
        self.assertEqual(version.StrOLESelfRegister, "")
        self.assertEqual(version.LanguageName, "English (United States)")
        self.assertEqual(struct.unpack_from("<H", version.GetBuffer(), 0)[0],
                         len(version.GetBuffer()))

if __name__ == "__main__":
    unittest.main()
