' Quern0102 from VBScript, created by ProgID as any script creates it:
'   cscript //nologo quern.vbs FOLDER DLL [wine]
' FOLDER is an empty scratch folder; DLL is the registered Quern0102.dll (its own version
' resource is read back). Prints "FAIL: ..." for each check that fails, "SKIPPED: ..." for what
' Wine cannot do, and "quern.vbs: ALL PASSED" at the end when nothing failed.
Option Explicit
Dim failures : failures = 0
Sub Check(condition, what)
  If Not condition Then
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub

' The search's callback: counts the folders, and stops the search at the first when told.
Class Progress
  Public Calls
  Public StopAtFirst
  Public Sub DirectoryCompleted(Path, Cancel)
    Calls = Calls + 1
    If StopAtFirst Then Cancel = True
  End Sub
End Class

' Wine's VBScript has no Join.
Function Triple(c)
  Triple = c(0) & "," & c(1) & "," & c(2)
End Function

Dim folder : folder = WScript.Arguments(0)
Dim dll : dll = WScript.Arguments(1)
' Under Wine (com-test.sh says so) what Wine cannot do is skipped.
Dim underWine : underWine = False
If WScript.Arguments.Count > 2 Then
  If WScript.Arguments(2) = "wine" Then underWine = True
End If

' --- Every creatable class, and none of the ones only the library makes. -------------------
Dim progid
For Each progid In Array("orvFSO", "orvDescriptIon", "orvFileStreams", "orvFoundedFiles", _
                         "IFindFilesCallback", "orvFileVersion", "orvShellFileInfo")
  Dim made : Set made = Nothing
  On Error Resume Next
  Set made = CreateObject("Quern0102." & progid)
  Check Err.Number = 0 And Not made Is Nothing, "CreateObject Quern0102." & progid & ": " & Err.Number
  Err.Clear
  On Error GoTo 0
Next
For Each progid In Array("FoundedFile", "FileStream", "ShellFileEXE", "ShellFileIcon")
  On Error Resume Next
  Set made = CreateObject("Quern0102." & progid)
  Check Err.Number = 429, "Quern0102." & progid & " is not creatable: " & Err.Number
  Err.Clear
  On Error GoTo 0
Next

Dim fso : Set fso = CreateObject("Quern0102.orvFSO")
Check TypeName(fso) = "_orvFSO", "TypeName from the type library: " & TypeName(fso)

' --- Text in each encoding and mark, the format read back through by-reference arguments. ----
' Wine's VBScript has no ChrW, so the text outside ASCII ("Hello При" and U+263A) comes from
' UTF-8 bytes the library reads.
Dim name, enc, bom, inv, ok, back
name = folder & "\text.txt"
fso.PutFileB name, Array(72, 101, 108, 108, 111, 32, &HD0, &H9F, &HD1, &H80, &HD0, &HB8, 32, &HE2, &H98, &HBA)
Dim text : text = fso.GetFile2(name, True, 2, 1)
Check Len(text) = 11, "UTF-8 text read: " & Len(text)
Dim cases : cases = Array(Array(2, 2, 1), Array(2, 1, 1), Array(3, 2, 1), Array(3, 2, 2), Array(3, 1, 1))
Dim c
For Each c In cases
  Check fso.PutFile2(name, text, True, c(0), c(1), c(2)), "PutFile2 " & Triple(c)
  enc = 0 : bom = 0 : inv = 0 : ok = False
  back = fso.GetFile2(name, True, c(0), c(1), c(2), enc, bom, inv, ok)
  Check back = text, "GetFile2 gives the text back for " & Triple(c)
  Check ok = True, "lpSuccess for " & Triple(c)
  Check enc = c(0), "lpEncoding " & enc & " for " & Triple(c)
  If c(1) = 2 Then
    enc = 0 : bom = 0 : inv = 0
    Check fso.GetFileFormat2(name, True, enc, bom, inv), "GetFileFormat2 " & Triple(c)
    Check enc = c(0) And bom = 2 And inv = c(2), "format " & enc & "," & bom & "," & inv & " for " & Triple(c)
  End If
Next
' ANSI without a mark, appended to.
Check fso.PutFile2(name, "abc", True, 1, 1), "PutFile2 ANSI"
Check fso.AppendFile2(name, "def", True), "AppendFile2"
Check fso.GetFile2(name, True) = "abcdef", "ANSI text appended: " & fso.GetFile2(name, True)

' --- Binary files: Byte() both ways, and a script's own array of numbers. ------------------
name = folder & "\data.bin"
Check fso.PutFileB(name, Array(65, 66, 67, 0, 255)), "PutFileB from Array()"
Dim bytes : bytes = fso.GetFileB(name, True)
' Wine's VBScript names every array "Variant()".
Dim arrayType : arrayType = TypeName(bytes)
If underWine And arrayType = "Variant()" Then arrayType = "Byte()"
Check arrayType = "Byte()", "GetFileB gives Byte(): " & TypeName(bytes)
' Wine's VBScript cannot take UBound of a Byte(), so sizes are read back as ANSI text.
Check Len(fso.GetFile2(name, True, 1, 1)) = 5, "five bytes written"
Check fso.AppendFileB(name, bytes), "AppendFileB with the Byte() read"
Check Len(fso.GetFile2(name, True, 1, 1)) = 10, "ten bytes after the append"
Check Left(fso.GetFile2(name, True, 1, 1), 3) = "ABC", "the bytes themselves"

' --- List files, their Collection walked with For Each. ------------------------------------
name = folder & "\list.txt"
fso.PutFile2 name, "first" & vbCrLf & "; a comment" & vbCrLf & vbCrLf & "  second  " & vbCrLf, True, 1, 1
Dim list : Set list = fso.ReadStandardListFile(name)
Check list.Count = 2, "list items: " & list.Count
Dim item, joined : joined = ""
For Each item In list
  joined = joined & "[" & item & "]"
Next
Check joined = "[first][second]", "list walked: " & joined

' --- Descript.ion ------------------------------------------------------------------------
name = folder & "\described.txt"
fso.PutFile2 name, "x", True, 1, 1
Check fso.SetFileDescription(name, "A file with a description"), "SetFileDescription"
Check fso.GetFileDescription(name) = "A file with a description", "GetFileDescription: " & fso.GetFileDescription(name)
Dim descript : Set descript = CreateObject("Quern0102.orvDescriptIon")
Check descript.ReadDirectoryFile(folder), "orvDescriptIon.ReadDirectoryFile"
Check descript.ItemDescriptionByFileName("described.txt") = "A file with a description", "description by name"
Check fso.DeleteFileDescription(name), "DeleteFileDescription"
Check fso.GetFileDescription(name) = "", "description gone"

' --- Zone and compression: what Wine cannot do is skipped. --------------------------------
If underWine Then
  WScript.Echo "SKIPPED: zone (Wine keeps no alternate data streams) and compression (no FSCTL compression)"
Else
  name = folder & "\zoned.txt"
  fso.PutFile2 name, "x", True, 1, 1
  Check fso.SetFileZone(name, 3), "SetFileZone"
  Check fso.GetFileZone(name) = 3, "GetFileZone"
  Dim code : code = 0
  Check fso.GetFileCompression(name, code) >= 0, "GetFileCompression"
End If

' --- The search, a script's callback, For Each over the results. ---------------------------
Dim tree : tree = folder & "\tree"
CreateObject("Scripting.FileSystemObject").CreateFolder tree
CreateObject("Scripting.FileSystemObject").CreateFolder tree & "\sub"
fso.PutFile2 tree & "\a.txt", "a", True, 1, 1
fso.PutFile2 tree & "\sub\b.txt", "b", True, 1, 1
Dim tracker : Set tracker = New Progress
tracker.Calls = 0 : tracker.StopAtFirst = False
Dim found : Set found = CreateObject("Quern0102.orvFoundedFiles")
found.RefreshEx2 tree, "*", False, tracker
Check tracker.Calls = 2, "callback once per folder: " & tracker.Calls
Dim names : names = ""
Dim entry
For Each entry In found
  names = names & "[" & entry.FileName & "]"
Next
Check InStr(names, "[a.txt]") > 0 And InStr(names, "[sub]") > 0, "found: " & names
Check found.Count >= 2, "Count " & found.Count
tracker.Calls = 0 : tracker.StopAtFirst = True
found.RefreshEx2 tree, "*", False, tracker
Check tracker.Calls = 1, "Cancel stops the search: " & tracker.Calls

' --- Version information of the library itself; shell information. ------------------------
Dim version : Set version = CreateObject("Quern0102.orvFileVersion")
Check version.ReadFile(dll), "orvFileVersion.ReadFile of the library"
Check version.FileVerMajor = 1 And version.FileVerMinor = 2, "file version " & version.FileVerMajor & "." & version.FileVerMinor
Check version.GetVersionInfoString("CompanyName") = "Greyfen Works", "CompanyName: " & version.GetVersionInfoString("CompanyName")
Check version.GetVersionInfoString("InternalName") = "Quern0102", "InternalName"
Dim info : Set info = CreateObject("Quern0102.orvShellFileInfo")
Check info.ReadFile(folder & "\text.txt"), "orvShellFileInfo.ReadFile"
Check info.DisplayName <> "", "DisplayName"
' The icon is the system's own picture object: an icon (Type 3) with its handle and size.
Dim picture : Set picture = info.Icon.Icon
Check picture.Type = 3, "icon picture Type: " & picture.Type
Check picture.Handle <> 0, "icon picture Handle"
Check picture.Width > 0 And picture.Height = picture.Width, "icon picture size: " & picture.Width & " x " & picture.Height
Check info.SmallIcon.Icon.Width < picture.Width, "the small icon is smaller: " & info.SmallIcon.Icon.Width
Check info.Icon.Icon Is picture, "the same picture each time"
If underWine Then WScript.Echo "SKIPPED: shell type names (Wine has no real ones)"

' --- Errors: number, source and description. ----------------------------------------------
On Error Resume Next
back = fso.GetFile2(folder & "\missing.txt", True)
Check Err.Number = 53, "file not found: " & Err.Number
Check Err.Source <> "", "Err.Source"
Check Err.Description <> "", "Err.Description"
Err.Clear
back = fso.GetFile2(folder & "\missing.txt", False)
Check Err.Number = 0 And back = "", "no error without RaiseErrors: " & Err.Number
Err.Clear
fso.GetFile2
Check Err.Number = 450 Or Err.Number = 449, "argument not optional: " & Err.Number
Err.Clear
fso.GetFile2 folder & "\missing.txt", True, 0, 0, 0, enc, bom, inv, ok, 1, 2, 3
Check Err.Number = 450, "too many arguments: " & Err.Number
Err.Clear
fso.SetFileZone folder & "\text.txt", 1E+300
Check Err.Number = 6, "huge value: " & Err.Number
Err.Clear
fso.PutFile2 folder & "\text.txt", Null
Check Err.Number = 13 Or Err.Number = 94, "Null: " & Err.Number
Err.Clear
fso.PutFileB folder & "\data.bin", Array("not a number")
Check Err.Number = 13, "array of strings as Byte(): " & Err.Number
Err.Clear
fso.PutFileB folder & "\data.bin", Array(1, 256)
Check Err.Number = 6, "byte out of range: " & Err.Number
Err.Clear
fso.NoSuchMember
Check Err.Number = 438, "no such member: " & Err.Number
Err.Clear
' What a member set by reference before it raised reaches the script: under On Error Resume
' Next the script goes on, and must not read the True it passed in as a success.
ok = True
bytes = fso.GetFileB(folder & "\missing.bin", True, ok)
Check Err.Number = 53 And ok = False, "GetFileB raising " & Err.Number & " leaves lpSuccess " & ok
Err.Clear
ok = True
back = fso.GetFile2(folder & "\text.txt", True, 4, 0, 0, enc, bom, inv, ok)
Check Err.Number = 5 And ok = False, "GetFile2 raising " & Err.Number & " leaves lpSuccess " & ok
Err.Clear
ok = True
Set list = fso.ReadStandardListFile2(folder & "\missing.txt", ";", True, True, True, 0, 0, 0, enc, bom, inv, ok)
Check Err.Number = 53 And ok = False, "ReadStandardListFile2 raising " & Err.Number & " leaves lpSuccess " & ok
Err.Clear
On Error GoTo 0

If failures = 0 Then WScript.Echo "quern.vbs: ALL PASSED"
