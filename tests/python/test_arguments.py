"""Arguments as a Python programmer passes them: paths of every kind Python has, the usual
TypeErrors for calls and values that do not fit, None for a parameter left out, and errors that
are OSErrors naming the file."""

import errno
import inspect
import os
import pathlib
import pickle

from quern_testing import FolderTest, quern


class Paths(FolderTest):
    def test_str_bytes_and_path_objects_name_the_same_file(self):
        name = self.write_bytes("plain.txt", b"contents")

        class OwnPath:
            def __init__(self, path):
                self.path = path

            def __fspath__(self):
                return self.path

        for given in (name, os.fsencode(name), pathlib.Path(name), OwnPath(name),
                      OwnPath(os.fsencode(name))):
            with self.subTest(given=given):
                self.assertEqual(quern.GetFile2(given, RaiseErrors=True), "contents")
                self.assertEqual(quern.orvFSO().GetFileB(given), b"contents")

    def test_a_bytes_name_that_is_not_utf8_reaches_its_file_undecoded(self):
        raw = os.path.join(os.fsencode(self.folder), b"latin1-\xe9t\xe9.txt")
        self.assertTrue(quern.PutFileB(raw, b"written", RaiseErrors=True))
        with open(raw, "rb") as file:
            self.assertEqual(file.read(), b"written")
        self.assertEqual(os.listdir(os.fsencode(self.folder)), [os.path.basename(raw)])
        self.assertEqual(quern.GetFile2(raw, RaiseErrors=True), "written")
        self.assertTrue(quern.AppendFileB(pathlib.Path(os.fsdecode(raw)), b"!"))
        self.assertEqual(quern.GetFileB(raw), b"written!")

    def test_folder_and_list_members_take_paths_too(self):
        os.mkdir(self.path("sub"))
        self.write_bytes(os.path.join("sub", "a.txt"), b"a")
        found = quern.orvFoundedFiles()
        self.assertTrue(found.RefreshEx2(pathlib.Path(self.path("sub")), "*"))
        self.assertEqual([f.FileName for f in found], ["a.txt"])
        self.assertTrue(found.Refresh(os.fsencode(self.path("sub")), "*"))
        self.assertEqual(len(found), 1)

        notes = quern.orvDescriptIon()
        notes.AddItem(b"a.txt", "first file")
        self.assertTrue(notes.WriteDirectoryFile(pathlib.Path(self.path("sub"))))
        self.assertTrue(notes.ReadDirectoryFile(os.fsencode(self.path("sub"))))
        self.assertEqual(notes.ItemDescriptionByFileName(pathlib.PurePath("a.txt")), "first file")

        self.write_bytes("list.txt", b"one\r\ntwo\r\n")
        self.assertEqual(list(quern.ReadStandardListFile(pathlib.Path(self.path("list.txt")))),
                         ["one", "two"])

    def test_other_types_are_type_errors_naming_the_argument(self):
        for wrong in (42, 4.2, ["a"], None):
            with self.subTest(wrong=wrong), self.assertRaisesRegex(
                    TypeError, r"^GetFile2\(\) argument 'FileName' must be str, bytes or "
                               r"os\.PathLike, not "):
                quern.GetFile2(wrong)


class Calls(FolderTest):
    def test_missing_surplus_and_unknown_arguments_are_worded_as_python_words_them(self):
        cases = [
            (lambda: quern.GetFile2(),
             "GetFile2() missing 1 required positional argument: 'FileName'"),
            (lambda: quern.SetFileDescription(),
             "SetFileDescription() missing 2 required positional arguments: 'FileName' and "
             "'DescriptionText'"),
            (lambda: quern.orvDescriptIon().ItemFileName(),
             "orvDescriptIon.ItemFileName() missing 1 required positional argument: 'Index'"),
            (lambda: quern.GetFileZone("a", "b"),
             "GetFileZone() takes 1 positional argument but 2 were given"),
            (lambda: quern.GetFileB("a", filename="b"),
             "GetFileB() got an unexpected keyword argument 'filename'"),
            (lambda: quern.GetFileB("a", FileName="b"),
             "GetFileB() got multiple values for argument 'FileName'"),
            (lambda: quern.orvDescriptIon().Clear(1),
             "orvDescriptIon.Clear() takes 1 positional argument but 2 were given"),
        ]
        for call, message in cases:
            with self.subTest(message=message), self.assertRaises(TypeError) as raised:
                call()
            self.assertEqual(str(raised.exception), message)

    def test_values_of_a_type_the_parameter_cannot_take_are_type_errors(self):
        name = self.write_bytes("x.txt", b"x")
        fso = quern.orvFSO()
        cases = [
            (lambda: fso.PutFile2(name, b"bytes are not text"), "'Data' must be str, not bytes"),
            (lambda: fso.PutFile2(name, "x", RaiseErrors="yes"),
             "'RaiseErrors' must be bool or int, not str"),
            (lambda: fso.PutFile2(name, "x", Encoding=2.0),
             "'Encoding' must be FileEncodingConst or int, not float"),
            (lambda: fso.PutFileB(name, "text is not bytes"),
             "'Data' must be bytes, bytearray or memoryview, not str"),
            (lambda: quern.orvDescriptIon().RemoveItem("0"), "'Index' must be int, not str"),
            (lambda: fso.PutFile2(name, None), "'Data' must be str, not NoneType"),
            (lambda: quern.ReadStandardListFile2(name).Add([1, 2]),
             "a 'list' value cannot be passed to the library"),
        ]
        for call, message in cases:
            with self.subTest(message=message), self.assertRaisesRegex(TypeError, message):
                call()
        self.assertEqual(self.read_bytes("x.txt"), b"x")

    def test_none_leaves_an_optional_parameter_out_and_is_a_value_where_any_value_goes(self):
        name = self.path("n.txt")
        # FileBOM None takes the default fbBOM, as leaving it out does.
        self.assertTrue(quern.PutFile2(name, "é", None, quern.feUTF8, None))
        self.assertEqual(self.read_bytes("n.txt"), b"\xef\xbb\xbf\xc3\xa9")
        self.assertEqual(quern.GetFile2(name, lpSuccess=None), "é")
        bag = quern.ReadStandardListFile2(self.path("absent"))
        bag.Add(None)
        self.assertEqual(list(bag), [None])

    def test_every_member_has_a_signature_with_python_types_and_an_english_docstring(self):
        vb_words = ("As String", "As Boolean", "Byte()", "As Long", "As Variant")
        functions = [f for name, f in vars(quern).items() if not name.startswith("_")
                     and getattr(f, "__module__", "") == "quern" and callable(f)
                     and not isinstance(f, type)]
        members = [getattr(cls, name) for cls in vars(quern).values()
                   if isinstance(cls, type) and issubclass(cls, quern._quern.Handle)
                   for name in dir(cls) if name[0].isupper() or name[0] == "h"]
        self.assertGreater(len(members), 150)
        for member in functions + members:
            doc = member.__doc__ or ""
            with self.subTest(member=getattr(member, "__qualname__", repr(member))):
                self.assertTrue(doc.strip())
                self.assertFalse(any("\u0400" <= c <= "\u04ff" for c in doc), doc)
                self.assertFalse(any(word in doc for word in vb_words), doc)
                if isinstance(member, property):
                    continue
                signature = inspect.signature(member)
                for param in signature.parameters.values():
                    if param.name != "self":
                        self.assertIsNot(param.annotation, param.empty, param.name)
                        self.assertNotIsInstance(param.annotation, str, param.name)

    def test_the_version_is_the_library_version(self):
        top = os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")
        with open(top) as cmake:
            project = next(line for line in cmake if line.startswith("project("))
        self.assertIn(f"VERSION {quern.__version__} ", project)


class Errors(FolderTest):
    def test_a_missing_file_is_an_os_error_with_errno_and_the_name_as_given(self):
        absent = self.path("absent.txt")
        for given, filename in ((absent, absent), (pathlib.Path(absent), absent),
                                (os.fsencode(absent), os.fsencode(absent))):
            with self.subTest(given=given), self.assertRaises(OSError) as raised:
                quern.GetFileB(given, RaiseErrors=True)
            error = raised.exception
            self.assertIsInstance(error, quern.Error)
            self.assertEqual((error.number, error.errno, error.filename),
                             (53, errno.ENOENT, filename))
            self.assertEqual(error.strerror, error.description)
            self.assertIn(repr(filename), str(error))

    def test_a_missing_folder_is_enoent_too(self):
        with self.assertRaises(quern.Error) as raised:
            quern.GetFile2(self.path("no/such/file"), RaiseErrors=True)
        self.assertEqual(raised.exception.errno, errno.ENOENT)

    def test_errors_without_an_errno_and_without_a_path(self):
        with self.assertRaises(quern.Error) as bad_format:
            quern.GetFile2(self.write_bytes("x", b"x"), Encoding=7)
        self.assertEqual((bad_format.exception.number, bad_format.exception.errno), (5, None))
        self.assertEqual(bad_format.exception.filename, self.path("x"))
        with self.assertRaises(IndexError) as item:
            quern.ReadStandardListFile2(self.path("absent"))[1]
        self.assertIsNone(item.exception.errno)
        self.assertIsNone(item.exception.filename)
        self.assertIsInstance(item.exception, OSError)

    def test_an_error_made_by_hand_keeps_its_fields_and_pickles(self):
        error = quern.Error(70, "orvFSO", "Permission denied", b"/x")
        self.assertEqual(error.errno, errno.EACCES)
        self.assertEqual(error.args, (70, "orvFSO", "Permission denied"))
        back = pickle.loads(pickle.dumps(error))
        self.assertIsInstance(back, quern.Error)
        self.assertEqual((back.number, back.source, back.description, back.filename, back.errno),
                         (70, "orvFSO", "Permission denied", b"/x", errno.EACCES))
        self.assertEqual(quern.Error(61).errno, errno.ENOSPC)
        self.assertIsNone(quern.Error(13).errno)

    def test_errors_are_the_os_error_subclasses_python_raises_for_their_errno(self):
        with self.assertRaises(FileNotFoundError) as raised:
            quern.GetFileB(self.path("absent"), RaiseErrors=True)
        self.assertIsInstance(raised.exception, quern.Error)
        self.assertEqual(type(raised.exception).__qualname__, "Error")
        for number, subclass in ((76, FileNotFoundError), (70, PermissionError),
                                 (58, FileExistsError)):
            error = quern.Error(number, "orvFSO", "text", "/x")
            self.assertIsInstance(error, subclass)
            back = pickle.loads(pickle.dumps(error))
            self.assertIs(type(back), type(error))
            self.assertEqual(back.filename, "/x")
        for number in (5, 75):
            self.assertIs(type(quern.Error(number)), quern.Error)
