// Quern0102 from JScript: errors through try/catch, collections through new Enumerator, and
// a script object as the search's callback.
//   cscript //nologo quern.js FOLDER DLL [wine]
// Prints "FAIL: ..." for each check that fails and "quern.js: ALL PASSED" when none did.
var failures = 0;
function check(condition, what) {
  if (!condition) {
    WScript.Echo("FAIL: " + what);
    failures++;
  }
}

var folder = WScript.Arguments(0);
var fso = new ActiveXObject("Quern0102.orvFSO");

// Errors: the library's number in the low word of the HRESULT, its description and source.
try {
  fso.GetFile2(folder + "\\missing.txt", true);
  check(false, "GetFile2 of a missing file raised nothing");
} catch (e) {
  check((e.number & 0xFFFF) == 53, "error number " + (e.number & 0xFFFF));
  check((e.number >>> 16) == 0x800A, "facility of " + e.number);
  check(e.description != "", "description");
}
try {
  fso.NoSuchMember();
  check(false, "an unknown member raised nothing");
} catch (e) {
  check((e.number & 0xFFFF) == 438, "unknown member: " + (e.number & 0xFFFF));
}

// A list file's Collection walked with new Enumerator.
var name = folder + "\\list.txt";
check(fso.PutFile2(name, "one\r\ntwo\r\nthree\r\n", true, 1, 1), "PutFile2");
var list = fso.ReadStandardListFile(name);
var seen = [];
for (var items = new Enumerator(list); !items.atEnd(); items.moveNext()) seen.push(items.item());
check(seen.join(",") == "one,two,three", "list walked: " + seen.join(","));

// The search with a script object as its callback, and its results walked.
var calls = 0;
var callback = { DirectoryCompleted: function (path, cancel) { calls++; } };
var found = new ActiveXObject("Quern0102.orvFoundedFiles");
found.RefreshEx2(folder, "*.txt", false, callback);
check(calls == 1, "callback calls: " + calls);
var names = [];
for (var files = new Enumerator(found); !files.atEnd(); files.moveNext()) {
  names.push(files.item().FileName);
}
check(names.join(",") == "list.txt", "found: " + names.join(","));

// JScript has no Nothing: its null where an object is optional means none, as undefined does.
var alone = new ActiveXObject("Quern0102.orvFoundedFiles");
try {
  check(alone.RefreshEx2(folder, "*", false, null, true), "RefreshEx2 with a null callback");
  check(alone.Count == 1, "the folder itself: " + alone.Count);
  check(alone.RefreshEx(folder, "*.txt", false, null), "RefreshEx with a null callback");
  check(alone.Count == 1 && alone.Item(0).FileName == "list.txt", "found without a callback");
} catch (e) {
  check(false, "null for the callback refused: " + (e.number & 0xFFFF) + " " + e.description);
}
// Where a text is expected null is still no value.
try {
  fso.GetFile2(null, true);
  check(false, "null as a file name raised nothing");
} catch (e) {
  var code = e.number >>> 0;  // a type mismatch, as the dispatch or as the script reports it
  check(code == 0x80020005 || code == 0x800A000D, "null as a file name: " + code.toString(16));
}

if (failures == 0) WScript.Echo("quern.js: ALL PASSED");
