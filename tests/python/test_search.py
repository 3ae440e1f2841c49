"""The file search from Python: results as sequences, the entry of a path itself, a Python
progress callback that can cancel or raise, and the classes clients may and may not create."""

import datetime
import os

from quern_testing import FolderTest, quern


class Tree(FolderTest):
    """a.txt, b.dat, sub/c.txt and the empty folder sub/deep."""

    def setUp(self):
        super().setUp()
        self.write_bytes("a.txt", b"aaaa")
        self.write_bytes("b.dat", b"bb")
        os.mkdir(self.path("sub"))
        self.write_bytes(os.path.join("sub", "c.txt"), b"cccccc")
        os.mkdir(self.path(os.path.join("sub", "deep")))

    def listing(self, folder, keep=lambda name: True):
        return [entry.name for entry in os.scandir(folder) if keep(entry.name)]


class Search(Tree):
    def test_entries_come_in_listing_order_with_nested_results(self):
        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*"))
        self.assertEqual([f.FileName for f in files], self.listing(self.folder))
        self.assertEqual([files[i].FileName for i in range(len(files))],
                         [f.FileName for f in files])
        sub = next(f for f in files if f.FileName == "sub")
        self.assertTrue(sub.AttributeDirectory)
        self.assertEqual(sub.Path, self.folder)
        self.assertEqual([f.FileName for f in sub.Childs], self.listing(self.path("sub")))
        self.assertEqual(sub.FileSize, 6)
        self.assertEqual(files.Size, 4 + 2 + 6)
        self.assertIsInstance(files[0].LastWriteTime, datetime.datetime)
        self.assertEqual(files[0].LastWriteTime.microsecond, 0)

    def test_mask_is_applied_at_every_level(self):
        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*.TXT;sub"))
        self.assertEqual(sorted(f.FileName for f in files), ["a.txt", "sub"])
        sub = next(f for f in files if f.FileName == "sub")
        self.assertEqual([f.FileName for f in sub.Childs], ["c.txt"])
        self.assertFalse(files.RefreshEx(self.folder, "*.none"))
        self.assertEqual(len(files), 0)
        self.assertFalse(files.HasSubItems)

    def test_search_with_parent_gives_the_folder_itself(self):
        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx2(self.path("sub"), "*", SearchWithParent=True))
        self.assertEqual(len(files), 1)
        self.assertEqual(files[0].FileName, "sub")
        self.assertEqual(files[0].Path, self.folder)
        self.assertEqual(len(files[0].Childs), 2)

    def test_item_errors(self):
        files = quern.orvFoundedFiles()
        with self.assertRaises(quern.Error) as empty:
            files.Item(0)
        self.assertEqual(empty.exception.number, 5)
        with self.assertRaises(quern.Error) as overflow:
            files.Item(2147483647)
        self.assertEqual(overflow.exception.number, 6)
        with self.assertRaises(IndexError):
            files[0]

    def test_links_are_entered_by_refresh_only(self):
        os.symlink(self.path("sub"), self.path("link"))
        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*"))
        link = next(f for f in files if f.FileName == "link")
        self.assertTrue(link.AttributeReparsePoint)
        self.assertEqual(len(link.Childs), 0)
        self.assertTrue(files.Refresh(self.folder, "*"))
        link = next(f for f in files if f.FileName == "link")
        self.assertEqual(len(link.Childs), 2)

    def test_only_the_search_and_the_callback_are_creatable(self):
        self.assertIsNotNone(quern.CreateObject("Quern0102.orvFoundedFiles"))
        self.assertIsNotNone(quern.IFindFilesCallback())
        with self.assertRaises(quern.Error) as refused:
            quern.CreateObject("Quern0102.FoundedFile")
        self.assertEqual(refused.exception.number, 429)
        with self.assertRaises(TypeError):
            quern.FoundedFile()


class Callbacks(Tree):
    def test_a_python_object_hears_of_every_folder_deepest_first(self):
        heard = []

        class Progress:
            def DirectoryCompleted(self, Path, Cancel):
                self_test.assertIs(Cancel.value, False)
                heard.append(Path)

        self_test = self
        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*", False, Progress()))
        self.assertEqual(heard, [os.path.join(self.folder, "sub", "deep"),
                                 os.path.join(self.folder, "sub"), self.folder])
        self.assertTrue(
            files.RefreshEx(self.folder, "*", CallBackObject=quern.IFindFilesCallback()))

    def test_cancelling_below_empties_the_result(self):
        heard = []

        class Stop:
            def DirectoryCompleted(self, Path, Cancel):
                heard.append(Path)
                Cancel.value = Path.endswith("deep")

        files = quern.orvFoundedFiles()
        self.assertFalse(files.RefreshEx(self.folder, "*", False, Stop()))
        self.assertEqual(len(files), 0)
        self.assertFalse(files.HasSubItems)
        self.assertEqual(heard, [os.path.join(self.folder, "sub", "deep")])

    def test_an_exception_of_the_callback_reaches_the_caller_as_itself(self):
        class Broken:
            def DirectoryCompleted(self, Path, Cancel):
                raise KeyError("from the callback")

        files = quern.orvFoundedFiles()
        with self.assertRaises(KeyError):
            files.RefreshEx(self.folder, "*", False, Broken())

        # Its Cancel goes back to the library before the error does, and leaves it unchanged;
        # a Cancel that cannot be taken back does not hide it either.
        for cancel in (True, object()):
            class SetsAndRaises:
                def DirectoryCompleted(self, Path, Cancel):
                    Cancel.value = cancel
                    raise quern.Error(71, "client", "disk not ready")

            with self.assertRaises(quern.Error) as raised:
                files.RefreshEx(self.folder, "*", False, SetsAndRaises())
            self.assertEqual((raised.exception.number, raised.exception.source), (71, "client"))


class CallableCallbacks(Tree):
    def expected_order(self):
        return [os.path.join(self.folder, "sub", "deep"), os.path.join(self.folder, "sub"),
                self.folder]

    def test_a_function_hears_every_folder_with_the_cancel_flag(self):
        heard = []

        def progress(path, cancel):
            heard.append((path, cancel.value))

        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*", False, progress))
        self.assertEqual(heard, [(path, False) for path in self.expected_order()])

    def test_setting_cancel_or_returning_true_stops_the_search(self):
        def set_cancel(path, cancel):
            cancel.value = True

        for callback in (set_cancel, lambda path, cancel: path.endswith("deep"),
                         lambda path, cancel: 1):
            with self.subTest(callback=callback):
                files = quern.orvFoundedFiles()
                self.assertFalse(files.RefreshEx2(self.folder, "*", CallBackObject=callback))
                self.assertEqual(len(files), 0)

    def test_a_result_of_none_or_false_goes_on_and_leaves_a_set_cancel_alone(self):
        def cancel_then_return_false(path, cancel):
            cancel.value = path.endswith("sub")
            return False

        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*", False, lambda path, cancel: None))
        self.assertEqual(len(files), 3)
        self.assertFalse(files.RefreshEx(self.folder, "*", False, cancel_then_return_false))

    def test_bound_methods_and_callable_objects_are_callables_and_an_interface_method_wins(self):
        class Recorder:
            def __init__(self):
                self.paths = []

            def record(self, path, cancel):
                self.paths.append(path)

            def __call__(self, path, cancel):
                raise AssertionError("DirectoryCompleted is the method to call")

            def DirectoryCompleted(self, path, cancel):
                self.paths.append("interface " + path)

        recorder = Recorder()
        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*", False, recorder.record))
        self.assertEqual(recorder.paths, self.expected_order())
        recorder.paths.clear()
        self.assertTrue(files.RefreshEx(self.folder, "*", False, recorder))
        self.assertEqual(recorder.paths, ["interface " + p for p in self.expected_order()])

    def test_exceptions_of_a_function_reach_the_caller_and_non_callables_are_refused(self):
        def broken(path, cancel):
            raise LookupError(path)

        files = quern.orvFoundedFiles()
        with self.assertRaises(LookupError):
            files.RefreshEx(self.folder, "*", False, broken)
        with self.assertRaises(TypeError):  # a function of the wrong shape
            files.RefreshEx(self.folder, "*", False, lambda: None)
        for wrong in (5, "progress", object(), quern.orvFSO()):
            with self.subTest(wrong=wrong), self.assertRaisesRegex(
                    TypeError, r"'CallBackObject' must be IFindFilesCallback, a callable or an "
                               r"object with DirectoryCompleted\(\)"):
                files.RefreshEx(self.folder, "*", False, wrong)


class LargeTree(FolderTest):
    """Enough files that their attributes, times and sizes are read on worker threads: 300 in
    the folder and 250 in each of four subfolders, of different sizes and write times."""

    def setUp(self):
        super().setUp()
        serial = 0
        for folder in ["", "s0", "s1", "s2", "s3"]:
            if folder:
                os.mkdir(self.path(folder))
            for _ in range(300 if not folder else 250):
                name = self.write_bytes(os.path.join(folder, "f%d" % serial),
                                        b"x" * (serial * 37 % 3000))
                os.utime(name, (1600000000 + serial * 97, 1500000000 + serial * 61))
                if serial % 7 == 0:
                    os.chmod(name, 0o444)
                serial += 1

    def check_against_lstat(self, files):
        """Every entry reachable from files, checked against os.lstat; returns how many."""
        checked = 0
        for f in files:
            st = os.lstat(os.path.join(f.Path, f.FileName))
            checked += 1
            if f.AttributeDirectory:
                checked += self.check_against_lstat(f.Childs)
                continue
            self.assertEqual(f.FileSize, st.st_size, f.FileName)
            self.assertEqual(f.CompressedFileSize, st.st_blocks * 512, f.FileName)
            self.assertEqual(f.AttributeReadOnly, not st.st_mode & 0o200, f.FileName)
            self.assertEqual(f.LastWriteTime, datetime.datetime.fromtimestamp(int(st.st_mtime)),
                             f.FileName)
        return checked

    def test_every_entry_has_its_own_attributes_times_and_sizes(self):
        files = quern.orvFoundedFiles()
        self.assertTrue(files.RefreshEx(self.folder, "*"))
        self.assertEqual(self.check_against_lstat(files), 300 + 4 + 4 * 250)
        self.assertEqual(files.Size, sum(i * 37 % 3000 for i in range(1300)))

    def test_the_callback_of_the_folder_sees_its_entries_complete(self):
        files = quern.orvFoundedFiles()
        test = self
        checked = []

        class Check:
            def DirectoryCompleted(self, Path, Cancel):
                checked.append(test.check_against_lstat(files))

        self.assertTrue(files.RefreshEx(self.folder, "*", False, Check()))
        self.assertEqual(len(checked), 5)
        self.assertEqual(checked[-1], 300 + 4 + 4 * 250)
