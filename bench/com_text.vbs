' Reads and writes a big text file through Quern0102's orvFSO and through Wine's own
' Scripting.FileSystemObject, in the same run: cscript //nologo com_text.vbs FOLDER MIB
' Prints seconds for each step (Timer: 1/64 s resolution under Wine).
Option Explicit
Dim folder : folder = WScript.Arguments(0)
Dim mib : mib = CLng(WScript.Arguments(1))
Dim line : line = "The quick brown fox jumps over the lazy dog; 0123456789 abcdefghijklmnopqrstu" & vbCrLf
Dim chunk : chunk = ""
Dim i
For i = 1 To 128 : chunk = chunk & line : Next            ' 10 KiB
Dim text : text = ""
For i = 1 To 100 : text = text & chunk : Next             ' 1 MiB
Dim big : big = ""
For i = 1 To mib : big = big & text : Next

Dim quern : Set quern = CreateObject("Quern0102.orvFSO")
Dim scripting : Set scripting = CreateObject("Scripting.FileSystemObject")
Dim t, back, stream

t = Timer
quern.PutFile2 folder & "\quern.txt", big, True, 1, 1
WScript.Echo "orvFSO.PutFile2 (ANSI)            " & FormatNumber(Timer - t, 2) & " s"
t = Timer
back = quern.GetFile2(folder & "\quern.txt", True)
WScript.Echo "orvFSO.GetFile2 (ANSI)            " & FormatNumber(Timer - t, 2) & " s  " & (Len(back) = Len(big))

t = Timer
Set stream = scripting.CreateTextFile(folder & "\scripting.txt", True, False)
stream.Write big
stream.Close
WScript.Echo "FileSystemObject CreateTextFile   " & FormatNumber(Timer - t, 2) & " s"
t = Timer
Set stream = scripting.OpenTextFile(folder & "\scripting.txt", 1, False, 0)
back = stream.ReadAll
stream.Close
WScript.Echo "FileSystemObject ReadAll          " & FormatNumber(Timer - t, 2) & " s  " & (Len(back) = Len(big))
