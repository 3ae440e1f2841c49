"""Checks the type libraries that widl made of Quern0102's IDL: the library head, the
enumerations in their order with their values, a dual interface and a coclass per class with
the right flags, and every member of the IDL present in the .tlb with its dispatch id, kind and
parameters.

usage: check_tlb.py IDL WIN64_TLB WIN32_TLB"""

import re
import sys
import unittest

import msft

VERSION_CLASS = "Класс работы с пометкой версии"
VERSION_ENUMS = {"FileOS_Const", "FileType_Const", "FileSubType_Const"}

ENUMS = [
    ("FileEncodingConst", [("feAuto", 0), ("feANSI", 1), ("feUTF8", 2), ("feUTF16", 3)]),
    ("FileBOMConst", [("fbAuto", 0), ("fbNoBOM", 1), ("fbBOM", 2)]),
    ("InvertBytesConst", [("ibAuto", 0), ("ibDontInvertBytes", 1), ("ibInvertBytes", 2)]),
    ("FileZoneConst", [("fzLocalMachine", 0), ("fzLocalIntranet", 1), ("fzSafeSites", 2),
                       ("fzInternet", 3), ("fzRestrictedSites", 4)]),
    ("CompressionFormatConst", [("cfError", -1), ("cfNone", 0), ("cfDefault", 1),
                                ("cfLZNT1", 2)]),
    ("FileOS_Const", [("FileOS_PM16", 2), ("FileOS_PM32", 3), ("FileOS_Windows16", 1),
                      ("FileOS_Windows32", 4), ("FileOS_DOS", 0x10000),
                      ("FileOS_DOS_Windows16", 0x10001), ("FileOS_DOS_Windows32", 0x10004),
                      ("FileOS_NT", 0x40000), ("FileOS_NT_Windows32", 0x40004),
                      ("FileOS_OS216", 0x20000), ("FileOS_OS216_PM16", 0x20002),
                      ("FileOS_OS232", 0x30000), ("FileOS_OS232_PM32", 0x30003),
                      ("FileOS_Unknown", 0)]),
    ("FileType_Const", [("FileType_Unknown", 0), ("FileType_App", 1), ("FileType_DLL", 2),
                        ("FileType_Drv", 3), ("FileType_Font", 4), ("FileType_VXD", 5),
                        ("FileType_Static_Lib", 7)]),
    ("FileSubType_Const", [("FileSubType_Drv_COMM", 10), ("FileSubType_Drv_Display", 4),
                           ("FileSubType_Drv_InputMethod", 11),
                           ("FileSubType_Drv_Installable", 8), ("FileSubType_Drv_KeyBoard", 2),
                           ("FileSubType_Drv_Language", 3), ("FileSubType_Drv_Mouse", 5),
                           ("FileSubType_Drv_Network", 6), ("FileSubType_Drv_Printer", 1),
                           ("FileSubType_Drv_Sound", 9), ("FileSubType_Drv_System", 7),
                           ("FileSubType_Font_Raster", 1), ("FileSubType_Font_TrueType", 3),
                           ("FileSubType_Font_Vector", 2), ("FileSubType_Unknown", 0)]),
]

# Class, number of members of its interface, creatable by clients.
CLASSES = [
    ("orvFSO", 20, True), ("orvDescriptIon", 13, True), ("orvFileStreams", 4, True),
    ("FileStream", 19, False), ("orvFoundedFiles", 9, True), ("FoundedFile", 23, False),
    ("IFindFilesCallback", 1, True), ("orvFileVersion", 46, True),
    ("orvShellFileInfo", 18, True), ("ShellFileEXE", 3, False), ("ShellFileIcon", 2, False),
]

INTERFACE_FLAGS = (msft.TYPEFLAG_HIDDEN | msft.TYPEFLAG_DUAL | msft.TYPEFLAG_NONEXTENSIBLE
                   | msft.TYPEFLAG_OLEAUTOMATION)
SYS_WIN32, SYS_WIN64 = 1, 3
FUNCFLAG_RESTRICTED, FUNCFLAG_HIDDEN = 0x1, 0x40


def idl_members(idl):
    """{interface: [(name, dispid, kind, parameters, optional parameters)]} as the IDL says."""
    interfaces = {}
    for block in re.finditer(r"interface (\w+) : IDispatch \{\n(.*?)\n  \};", idl, re.S):
        members = []
        for m in re.finditer(r"\[id\((0x[0-9A-F]+)\)([^\n]*)\]\n\s*HRESULT (\w+)\((.*?)\);\n",
                             block.group(2) + "\n", re.S):
            params = [p for p in m.group(4).split(",\n") if p.strip()]
            kind = "propget" if "propget" in m.group(2) else "method"
            optional = sum(1 for p in params if "optional" in p.split("]")[0])
            members.append((m.group(3), int(m.group(1), 16), kind, len(params), optional))
        interfaces[block.group(1)] = members
    return interfaces


class TypeLibraryTest(unittest.TestCase):
    idl_path = tlb_paths = None

    @classmethod
    def setUpClass(cls):
        with open(cls.idl_path, encoding="cp1251") as f:
            cls.idl = f.read()
        cls.libraries = [(msft.read(path), syskind) for path, syskind in cls.tlb_paths]

    def each(self):
        """The 64-bit and the 32-bit library: a failure names the one it is about."""
        return self.libraries

    def types(self, library, kind):
        return [t for t in library.types if t["kind"] == kind]

    def test_library_head(self):
        for library, syskind in self.each():
            self.assertEqual(library.name, "Quern0102")
            self.assertEqual(library.version, (1, 1))
            self.assertEqual(library.lcid, 0x409)
            self.assertEqual(library.help_string, "Orvanel - File I/O support 1.02")
            self.assertEqual(library.syskind, syskind)
            self.assertIsNotNone(library.guid)

    def test_enumerations_in_order_with_their_values(self):
        for library, _ in self.each():
            enums = self.types(library, "enum")
            self.assertEqual([e["name"] for e in enums], [name for name, _ in ENUMS])
            for enum, (name, members) in zip(enums, ENUMS):
                self.assertEqual([(v["name"], v["value"]) for v in enum["variables"]], members,
                                 name)
                self.assertIsNotNone(enum["guid"], name)
                expected = VERSION_CLASS if name in VERSION_ENUMS else None
                self.assertEqual(enum["help_string"], expected, name)
            self.assertEqual(len({e["guid"] for e in enums}), len(enums))

    def test_a_dual_interface_and_a_coclass_per_class(self):
        for library, _ in self.each():
            coclasses = {t["name"]: t for t in self.types(library, "coclass")}
            interfaces = {t["name"]: t for t in self.types(library, "dispatch")}
            self.assertEqual(sorted(coclasses), sorted(name for name, _, _ in CLASSES))
            self.assertEqual(sorted(interfaces), sorted("_" + name for name, _, _ in CLASSES))
            for name, count, creatable in CLASSES:
                interface, coclass = interfaces["_" + name], coclasses[name]
                self.assertEqual(interface["flags"] & INTERFACE_FLAGS, INTERFACE_FLAGS, name)
                self.assertEqual(interface["version"], (1, 1) if name == "orvFSO" else (1, 0))
                self.assertEqual(len(interface["functions"]), count, name)
                self.assertEqual(bool(coclass["flags"] & msft.TYPEFLAG_CANCREATE), creatable,
                                 name)
                self.assertEqual(bool(coclass["flags"] & msft.TYPEFLAG_APPOBJECT),
                                 name == "orvFSO", name)
            self.assertEqual(coclasses["orvFileVersion"]["help_string"], VERSION_CLASS)
            ids = [t["guid"] for t in library.types if t["kind"] != "enum"]
            self.assertEqual(len(set(ids)), len(ids))

    def test_dispatch_ids_follow_the_slots(self):
        for library, _ in self.each():
            for interface in self.types(library, "dispatch"):
                for slot, function in enumerate(interface["functions"]):
                    name, memid = function["name"], function["memid"]
                    if name == "Item":
                        self.assertEqual(memid, 0)
                    elif name == "NewEnum":
                        self.assertEqual(memid, 0xFFFFFFFC)
                        self.assertEqual(function["invkind"], "propget")
                        self.assertEqual(function["flags"] & (FUNCFLAG_RESTRICTED | FUNCFLAG_HIDDEN),
                                         FUNCFLAG_RESTRICTED | FUNCFLAG_HIDDEN)
                    else:
                        self.assertEqual(memid, 0x60030000 + slot, (interface["name"], name))

    def test_the_enumerator_keeps_the_name_of_the_class_tables(self):
        # A client reading the type library (an object browser, early binding by name) sees
        # the member the tables call NewEnum, not the "_NewEnum" other libraries use.
        for library, _ in self.each():
            interfaces = {t["name"]: t for t in self.types(library, "dispatch")}
            for name in ("_orvFileStreams", "_orvFoundedFiles"):
                enumerators = [f for f in interfaces[name]["functions"]
                               if f["memid"] == 0xFFFFFFFC]
                self.assertEqual([f["name"] for f in enumerators], ["NewEnum"], name)
                self.assertTrue(enumerators[0]["flags"] & FUNCFLAG_HIDDEN, name)
            names = [f["name"] for t in interfaces.values() for f in t["functions"]]
            self.assertNotIn("_NewEnum", names)

    def test_vtable_offsets_follow_the_seven_slots_of_idispatch(self):
        # What early-bound clients call: member `slot` of a dual interface sits in the vtable
        # after QueryInterface, AddRef, Release and IDispatch's four.
        for library, syskind in self.each():
            pointer = 8 if syskind == SYS_WIN64 else 4
            for interface in self.types(library, "dispatch"):
                for slot, function in enumerate(interface["functions"]):
                    self.assertEqual(function["vtable_offset"], (7 + slot) * pointer,
                                     (interface["name"], function["name"], syskind))

    def test_every_member_of_the_idl_is_in_the_type_library(self):
        expected = idl_members(self.idl)
        self.assertEqual(len(expected), len(CLASSES))
        for library, _ in self.each():
            for interface in self.types(library, "dispatch"):
                got = [(f["name"], f["memid"], f["invkind"], len(f["params"]), f["optional"])
                       for f in interface["functions"]]
                self.assertEqual(got, expected[interface["name"]], interface["name"])
                for function in interface["functions"]:
                    retvals = [p for p in function["params"] if p["flags"] & msft.PARAMFLAG_RETVAL]
                    self.assertLessEqual(len(retvals), 1)
                    if retvals:
                        self.assertIs(retvals[0], function["params"][-1])

    def test_by_reference_and_optional_parameters(self):
        for library, _ in self.each():
            fso = next(t for t in library.types if t["name"] == "_orvFSO")
            get_file = next(f for f in fso["functions"] if f["name"] == "GetFile2")
            flags = {p["name"]: p["flags"] for p in get_file["params"]}
            in_out = msft.PARAMFLAG_IN | msft.PARAMFLAG_OUT
            self.assertEqual(flags["FileName"], msft.PARAMFLAG_IN)
            self.assertEqual(flags["lpSuccess"] & in_out, in_out)
            for name in ("RaiseErrors", "Encoding", "lpEncoding"):
                self.assertTrue(flags[name] & msft.PARAMFLAG_OPT, name)
                self.assertTrue(flags[name] & msft.PARAMFLAG_HASDEFAULT, name)
            callback = next(t for t in library.types if t["name"] == "_IFindFilesCallback")
            (completed,) = callback["functions"]
            self.assertEqual([(p["name"], p["flags"]) for p in completed["params"]],
                             [("Path", msft.PARAMFLAG_IN), ("Cancel", in_out)])


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    TypeLibraryTest.idl_path = sys.argv[1]
    TypeLibraryTest.tlb_paths = [(sys.argv[2], SYS_WIN64), (sys.argv[3], SYS_WIN32)]
    unittest.main(argv=sys.argv[:1], verbosity=2)
