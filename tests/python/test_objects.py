"""How the package presents the library: classes, members, arguments, collections, values,
errors and enumerations, all taken from the library's type information."""

import datetime
import inspect
import unittest

from quern_testing import FolderTest, quern


class Arguments(FolderTest):
    def test_keywords_in_any_order_and_omitted_optionals_take_the_table_defaults(self):
        name = self.path("k.txt")
        # FileBOM is left out: the table's default fbBOM puts a mark before UTF-8 text.
        self.assertTrue(quern.orvFSO().PutFile2(Data="é", Encoding=quern.feUTF8, FileName=name))
        self.assertEqual(self.read_bytes("k.txt"), b"\xef\xbb\xbf\xc3\xa9")
        # With only FileName and Data: ANSI (UTF-8 here) and no mark.
        self.assertTrue(quern.PutFile2(name, "é"))
        self.assertEqual(self.read_bytes("k.txt"), b"\xc3\xa9")

    def test_bad_calls_are_type_errors_and_bad_values_of_the_right_type_the_library_errors(self):
        fso = quern.orvFSO()
        with self.assertRaisesRegex(TypeError, r"^orvFSO\.GetFileB\(\) takes from 2 to 4 "
                                               r"positional arguments but 5 were given$"):
            fso.GetFileB(self.path("a"), False, quern.Ref(), "one too many")
        with self.assertRaisesRegex(TypeError, r"^orvFSO\.PutFile2\(\) missing 1 required "
                                               r"positional argument: 'Data'$"):
            fso.PutFile2(self.path("a"))
        with self.assertRaisesRegex(TypeError, r"argument 'Data' must be str, not list"):
            fso.PutFile2(self.path("a"), ["not", "text"])
        with self.assertRaises(quern.Error) as overflow:
            fso.PutFile2(self.path("a"), "x", False, 2**40)  # an int beyond Long is a Double
        self.assertEqual(overflow.exception.number, 6)

    def test_unknown_and_repeated_keywords_are_type_errors(self):
        with self.assertRaises(TypeError):
            quern.GetFileB(self.path("a"), Bogus=1)
        with self.assertRaises(TypeError):
            quern.GetFileB(self.path("a"), FileName=self.path("a"))

    def test_signatures_carry_the_table_names_and_defaults(self):
        params = inspect.signature(quern.orvFSO.PutFile2).parameters
        self.assertEqual(list(params),
                         ["self", "FileName", "Data", "RaiseErrors", "Encoding", "FileBOM",
                          "InvertBytes"])
        self.assertIs(params["FileName"].default, inspect.Parameter.empty)
        self.assertIs(params["RaiseErrors"].default, False)
        self.assertIs(params["Encoding"].default, quern.FileEncodingConst.feANSI)
        self.assertIs(inspect.signature(quern.GetFile2).parameters["lpSuccess"].default,
                      quern.MISSING)

    def test_docstrings_describe_the_member_and_its_parameters_in_python_types(self):
        doc = quern.orvFSO.AppendFile2.__doc__
        self.assertTrue(doc.startswith("Appends text to a file."), doc)
        self.assertIn("FileName: str | bytes | os.PathLike[str] | os.PathLike[bytes] -- a path",
                      doc)
        self.assertIn("lpEncoding: Ref[FileEncodingConst | int] -- optional", doc)
        self.assertTrue(doc.endswith("Returns: bool"), doc)
        self.assertEqual(quern.GetFileB.__doc__, quern.orvFSO.GetFileB.__doc__)
        self.assertIn("The number of entries.", quern.orvDescriptIon.ItemCount.__doc__)


class Collections(FolderTest):
    def read_list(self):
        name = self.write_bytes("list.txt", b"; comment\r\nfirst\r\n\r\n  second  \r\nthird\r\n")
        return quern.ReadStandardListFile(name)

    def test_a_list_file_reads_into_a_collection_with_len_index_keys_and_iteration(self):
        items = self.read_list()
        self.assertIsInstance(items, quern.Collection)
        self.assertEqual(len(items), 3)
        self.assertEqual(items.Count, 3)
        self.assertEqual(items[1], "first")
        self.assertEqual(items["2"], "second")
        self.assertEqual(items.Item(3), "third")
        self.assertEqual(list(items), ["first", "second", "third"])
        self.assertEqual(list(items), ["first", "second", "third"])  # a fresh enumerator

    def test_a_missing_index_or_key_is_both_a_quern_error_and_a_lookup_error(self):
        items = self.read_list()
        with self.assertRaises(IndexError) as by_index:
            items[4]
        self.assertIsInstance(by_index.exception, quern.Error)
        self.assertEqual(by_index.exception.number, 5)
        with self.assertRaises(KeyError):
            items["nope"]

    def test_a_failed_read_is_none_and_read2_gives_an_empty_collection(self):
        self.assertIsNone(quern.ReadStandardListFile(self.path("absent")))
        success = quern.Ref()
        empty = quern.ReadStandardListFile2(self.path("absent"), lpSuccess=success)
        self.assertEqual(len(empty), 0)
        self.assertIs(success.value, False)

    def test_values_cross_the_boundary_and_come_back_as_the_same_python_values(self):
        bag = quern.ReadStandardListFile2(self.path("absent"))
        moment = datetime.datetime(2024, 2, 29, 13, 45, 30, 250000)
        early = datetime.datetime(1899, 12, 29, 6, 0)
        fso = quern.orvFSO()
        values = [None, True, False, 7, -2**31, 2**31, 2.5, "текст \U0001d11e", b"\x00\xff",
                  moment, early, datetime.date(2000, 1, 1), fso]
        for value in values:
            bag.Add(value)
        back = list(bag)
        expected = values[:11] + [datetime.datetime(2000, 1, 1), fso]
        for got, want in zip(back, expected):
            with self.subTest(value=want):
                self.assertEqual(got, want)
                self.assertIs(type(got), float if want == 2**31 else type(want))
        self.assertIsInstance(back[-1], quern.orvFSO)

    def test_aware_datetimes_are_taken_as_their_local_time(self):
        bag = quern.ReadStandardListFile2(self.path("absent"))
        aware = datetime.datetime(2020, 6, 1, 12, 0, tzinfo=datetime.timezone.utc)
        bag.Add(aware)
        self.assertEqual(bag[1], aware.astimezone().replace(tzinfo=None))


class Descriptions(FolderTest):
    def test_a_description_file_round_trips(self):
        name = self.path("Descript.ion")
        writer = quern.orvDescriptIon()
        writer.AddItem("report.txt", "Квартальный отчёт")
        writer.AddItem(FileName="two words.doc", Description="second")
        self.assertEqual(writer.ItemCount, 2)
        self.assertIs(writer.WriteFile(name), True)

        reader = quern.orvDescriptIon()
        self.assertTrue(reader.ReadFile(name))
        self.assertEqual(reader.FileName, name)
        self.assertEqual(reader.ItemCount, 2)
        self.assertEqual(reader.ItemFileName(0), "report.txt")
        self.assertEqual(reader.ItemDescriptionByFileName("TWO WORDS.DOC"), "second")
        self.assertEqual(reader.ItemDescription(0), "Квартальный отчёт")


class Classes(unittest.TestCase):
    def test_creatable_classes_are_callable_and_create_object_names_them(self):
        self.assertIsInstance(quern.orvFSO(), quern.orvFSO)
        self.assertIsInstance(quern.CreateObject("Quern0102.orvDescriptIon"),
                              quern.orvDescriptIon)
        fso = quern.orvFSO()
        self.assertEqual(fso, fso)
        self.assertNotEqual(fso, quern.orvFSO())

    def test_classes_only_the_library_makes_are_refused(self):
        for cls in (quern.Collection, quern.Enumerator):
            with self.subTest(cls=cls.__name__), self.assertRaises(TypeError):
                cls()
        with self.assertRaises(quern.Error) as raised:
            quern.CreateObject("Quern0102.NoSuchClass")
        self.assertEqual(raised.exception.number, 429)

    def test_parameterless_properties_are_attributes_and_others_are_methods(self):
        self.assertIsInstance(quern.orvDescriptIon.ItemCount, property)
        self.assertTrue(callable(quern.orvDescriptIon.ItemFileName))
        self.assertEqual(quern.orvDescriptIon().FileName, "")

    def test_the_type_library_is_plain_data(self):
        library = quern.type_library
        self.assertEqual(library["name"], "Quern0102")
        fso = next(c for c in library["classes"] if c["name"] == "orvFSO")
        self.assertTrue(fso["creatable"])
        self.assertRegex(fso["clsid"], r"^\{[0-9A-F-]{36}\}$")
        self.assertEqual([m["name"] for m in fso["members"]][:2], ["PutFile2", "GetFileFormat2"])


class Enumerations(FolderTest):
    def test_enumerations_are_int_enums_and_their_members_module_constants(self):
        self.assertIs(quern.feUTF8, quern.FileEncodingConst.feUTF8)
        self.assertEqual(quern.feUTF8, 2)
        self.assertEqual(quern.cfError, -1)
        self.assertEqual([m.name for m in quern.FileBOMConst], ["fbAuto", "fbNoBOM", "fbBOM"])
        self.assertEqual(quern.FileOS_NT_Windows32, 0x40004)

    def test_results_of_an_enumeration_type_come_back_as_its_members(self):
        # A file without a zone is in the local machine zone.
        name = self.write_bytes("plain.txt", b"x")
        self.assertIs(quern.GetFileZone(name), quern.FileZoneConst.fzLocalMachine)


if __name__ == "__main__":
    unittest.main()
