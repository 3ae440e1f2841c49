' The probe server from VBScript: created by ProgID, called late-bound, errors caught.
Option Explicit
Dim failures : failures = 0
Sub Check(condition, what)
  If Not condition Then
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub

Dim probe : Set probe = CreateObject("ProbeServer.Probe")
Check probe.Add(40, 2) = 42, "Add(40, 2)"
Check probe.ADD(40) = 41, "Add with its default"
On Error Resume Next
probe.Fail 70
Check Err.Number = 70, "Err.Number " & Err.Number
Check Err.Source = "Probe", "Err.Source " & Err.Source
Check Err.Description = "Probe failed", "Err.Description " & Err.Description
Err.Clear
probe.Add
Check Err.Number = 449, "argument not optional: " & Err.Number
Err.Clear
On Error GoTo 0
If failures = 0 Then WScript.Echo "probe.vbs: ALL PASSED"
