"""The English documentation of the package: one short description per class, member and
enumeration, kept here because the library's own descriptions are partly Russian and speak of
VB types. member_doc() adds the parameters from the member table with their Python types."""

from . import _values

CLASSES = {
    "orvFSO": "Text, binary and list files; the zone, description and compression of a file. "
              "Its members are also the module's functions (quern.GetFile2(...)), called on "
              "one instance made on first use.",
    "orvDescriptIon": "A Descript.ion file: the descriptions of the files of one folder.",
    "orvFileStreams": "The streams of one file: its data, security data and named streams "
                      "(extended attributes user.NAME). Indexed from 0; len() and iteration "
                      "work.",
    "FileStream": "One stream of a file (made by the library only).",
    "orvFoundedFiles": "The result of a file search: the entries found, each folder with its "
                       "own search in Childs. Indexed from 0; len() and iteration work.",
    "FoundedFile": "One file or folder found by a search (made by the library only).",
    "IFindFilesCallback": "The library's search progress callback, which does nothing. Any "
                          "object with a DirectoryCompleted(Path, Cancel) method, or any "
                          "callable taking (Path, Cancel), may be passed instead.",
    "orvFileVersion": "Reads the version resource of a Windows executable (a PE file).",
    "orvShellFileInfo": "What the desktop knows about a file: its display name, type name, "
                        "icons and executable type.",
    "ShellFileEXE": "The executable type of a file (made by the library only).",
    "ShellFileIcon": "One icon of a file with its index (made by the library only).",
    "StdPicture": "An icon picture: an icon theme file at a pixel size (made by the library "
                  "only).",
    "Collection": "An ordered collection counted from 1 whose items may carry a text key; "
                  "obj[i] and obj[key], len() and iteration work.",
    "Enumerator": "Walks the items of a collection (iteration does this for you).",
}

ENUMS = {
    "FileEncodingConst": "The encoding of a text file: automatic, the ANSI code page, UTF-8 or "
                         "UTF-16.",
    "FileBOMConst": "Whether a text file starts with a byte-order mark.",
    "InvertBytesConst": "The byte order of UTF-16 text: little-endian, or inverted (big-endian).",
    "FileZoneConst": "The security zone recorded for a downloaded file.",
    "CompressionFormatConst": "The compression of a file; cfError when it cannot be read.",
    "FileOS_Const": "The operating system a file of a version resource was made for.",
    "FileType_Const": "The kind of file a version resource describes.",
    "FileSubType_Const": "The subtype of a driver or font file of a version resource.",
}

_FAILURE = "With RaiseErrors a failure raises quern.Error; otherwise it gives False."
_TEXT_WRITE = _FAILURE + " Encoding, FileBOM and InvertBytes choose the format."

MEMBERS = {
    "orvFSO": {
        "PutFile2": "Writes text to a file, replacing it. " + _TEXT_WRITE,
        "GetFileFormat2": "Finds the encoding of a text file from its byte-order mark and "
                          "gives it through lpEncoding, lpFileBOM and lpInvertBytes. "
                          + _FAILURE,
        "OverwriteFile2": "Writes text over a file's contents in place, keeping the file "
                          "itself (its streams and attributes); a missing file is created. "
                          "Gives 255 on success, 0 on failure (or raises with RaiseErrors).",
        "AppendFile2": "Appends text to a file. The format of an existing file is detected and "
                       "kept (and given through lpEncoding, lpFileBOM, lpInvertBytes); a new "
                       "file gets the format asked for.",
        "GetFile2": "Reads a whole text file. The format is detected from the byte-order mark "
                    "unless given; lpSuccess tells whether the read worked (a failure gives "
                    "empty text, or raises quern.Error with RaiseErrors).",
        "GetFileB": "Reads a whole file as bytes; lpSuccess tells whether the read worked (a "
                    "failure gives empty bytes, or raises quern.Error with RaiseErrors).",
        "PutFileB": "Writes bytes to a file, replacing it. " + _FAILURE,
        "AppendFileB": "Appends bytes to a file, creating it when missing. " + _FAILURE,
        "OverwriteFileB": "Writes bytes over a file's contents in place, keeping the file "
                          "itself (its streams and attributes); a missing file is created. "
                          + _FAILURE,
        "GetFileZone": "The security zone recorded for a file; fzLocalMachine when none is.",
        "SetFileZone": "Records a security zone for an existing file.",
        "IsFileZoneDefined": "True when a security zone is recorded for the file.",
        "DeleteFileZone": "Removes the security zone recorded for a file.",
        "GetFileDescription": "The description of a file in the Descript.ion file of its "
                              "folder; empty text when there is none.",
        "SetFileDescription": "Sets the description of a file in the Descript.ion file of its "
                              "folder.",
        "DeleteFileDescription": "Removes the description of a file from the Descript.ion "
                                 "file of its folder.",
        "ReadStandardListFile": "Reads a list file into a Collection of its lines, without "
                                "comment lines (starting with CommentChar), blank lines "
                                "(IgnoreBlanks) and surrounding blanks (TrimStrings); IsOem "
                                "reads the file in the OEM code page. None on failure (or "
                                "quern.Error with RaiseErrors).",
        "SetFileCompression": "Compresses or uncompresses a file or folder; lpErrorCode "
                              "receives the system's error code of a failure.",
        "GetFileCompression": "The compression of a file or folder; cfError on failure, with "
                              "the system's error code in lpErrorCode.",
        "ReadStandardListFile2": "Reads a list file of any text format into a Collection of "
                                 "its lines, like ReadStandardListFile; the format is detected "
                                 "unless given. A failure gives an empty Collection and "
                                 "lpSuccess False.",
    },
    "orvDescriptIon": {
        "FileName": "The description file last read; empty after Clear.",
        "ItemFileName": "The file name of entry Index (from 0); empty text out of range.",
        "ItemDescription": "The description of entry Index (from 0); empty text out of range.",
        "ItemDescriptionByFileName": "The description of a file name (letter case ignored).",
        "ItemCount": "The number of entries.",
        "RemoveItem": "Removes entry Index (from 0); False out of range.",
        "RemoveItemByFileName": "Removes the entry of a file name (letter case ignored).",
        "AddItem": "Sets the description of a file name; the entry moves to the end.",
        "Clear": "Empties the list and forgets the file name.",
        "ReadFile": "Reads a description file; a missing one is an empty list.",
        "WriteFile": "Writes the list (to the file last read when no name is given); an empty "
                     "list deletes the file.",
        "ReadDirectoryFile": "Reads the Descript.ion file of a folder.",
        "WriteDirectoryFile": "Writes the Descript.ion file of a folder (the folder of the file "
                              "last read when none is given).",
    },
    "orvFileStreams": {
        "Count": "The number of streams found.",
        "Item": "The stream at Index, counted from 0.",
        "NewEnum": "An enumerator of the streams (iteration uses it).",
        "ReadFileStreams": "Lists the streams of a file or folder (with ProcessSecurity, its "
                           "security data too); False when it cannot be opened.",
    },
    "FileStream": {
        "StreamID": "The stream kind (1 data, 3 security, 4 alternate ...).",
        "Attributes": "The stream attribute bits.",
        "Size": "The size of the stream's data in bytes.",
        "Name": "\":NAME:$DATA\", \"::$DATA\" for the data stream, or \"\".",
        "ShortName": "NAME of \":NAME:$DATA\".",
        "StreamIDInvalid": "True when StreamID is 0.",
        "StreamIDData": "True for the unnamed data stream (1).",
        "StreamIDEAData": "True for extended attributes (2).",
        "StreamIDSecurityData": "True for a security descriptor (3).",
        "StreamIDAlternateData": "True for an alternate data stream (4).",
        "StreamIDLink": "True for hard link information (5).",
        "StreamIDPropertyData": "True for property data (6).",
        "StreamIDObjectID": "True for an object identifier (7).",
        "StreamIDReparseData": "True for reparse data (8).",
        "StreamIDSparseBlock": "True for a sparse block (9).",
        "AttributeModifiedWhenRead": "True when attribute bit 0x1 is set.",
        "AttributeContainsSecurity": "True when attribute bit 0x2 is set.",
        "AttributeContainsProperties": "True when attribute bit 0x4 is set.",
        "AttributeSparseAttribute": "True when attribute bit 0x8 is set.",
    },
    "orvFoundedFiles": {
        "HasSubItems": "True after a search that found at least one entry.",
        "Path": "The Path of the last search.",
        "Size": "The sum of the FileSize of the entries found.",
        "Refresh": "Searches Path for Mask (names separated by ';', with * and ?), entering "
                   "links to folders and mount points. True when anything was found.",
        "RefreshEx": "Searches Path for Mask; CallBackObject is told when each folder is done "
                     "and may cancel the search. True when anything was found. CallBackObject "
                     "may be an IFindFilesCallback, an object with a DirectoryCompleted(Path, "
                     "Cancel) method or a callable taking (Path, Cancel); setting Cancel.value "
                     "to True, or a callable's true result, stops the search.",
        "RefreshEx2": "Searches Path for Mask like RefreshEx; with SearchWithParent the result "
                      "is the entry of Path itself, its contents in Childs.",
        "Item": "The entry at Index, counted from 0.",
        "Count": "The number of entries found.",
        "NewEnum": "An enumerator of the entries (iteration uses it).",
    },
    "FoundedFile": {
        "Childs": "The search inside a folder; empty for a file.",
        "Path": "The folder the entry was found in.",
        "FileAttributes": "The attribute bits (Windows FILE_ATTRIBUTE_* values).",
        "CreationTime": "Birth time, else last write (local time).",
        "LastAccessTime": "Last access (local time).",
        "LastWriteTime": "Last write (local time).",
        "FileSize": "Bytes; for a folder the sum of its Childs.",
        "CompressedFileSize": "Bytes occupied on disk; for a folder its FileSize.",
        "FileName": "The name as listed.",
        "AlternateFileName": "The short 8.3 name: always empty here.",
    },
    "IFindFilesCallback": {
        "DirectoryCompleted": "Called after each searched folder; setting Cancel.value to True "
                              "stops the search.",
    },
    "orvFileVersion": {
        "ReadFile": "Reads the version resource of a file; False when it has none.",
        "GetBuffer": "The raw version resource as read.",
        "FileDateLS": "The low 32 bits of the file's date (compilers rarely fill it).",
        "FileDateMS": "The high 32 bits of the file's date (compilers rarely fill it).",
        "FileSubType": "The subtype of a driver or font; the identifier of a virtual device.",
        "FileType": "The kind of file.",
        "FileOS": "The operating system the file was made for.",
        "StrucVersion": "The version of the fixed version structure.",
        "Signature": "The signature of the fixed version structure (0xFEEF04BD).",
        "GetLanguageName": "The name of a language by its Windows language identifier.",
        "LanguageName": "The language whose strings the Str... properties give.",
        "GetVersionInfoString": "A string of the version resource by its name "
                                "(\"CompanyName\", ...), in LanguageName's table.",
    },
    "orvShellFileInfo": {
        "ReadFile": "Asks the desktop about a file or folder; False (all reset) when it is "
                    "missing.",
        "FileName": "The file last asked about.",
        "Attributes": "The shell item attribute bits (SFGAO_* values).",
        "DisplayName": "The name the file manager shows.",
        "TypeName": "The description of the file's type.",
        "EXEType": "The executable type; None before ReadFile.",
        "IconLocation": "The file that holds the icon.",
        "SystemIconIndex": "The icon's index in the system image list.",
        "hSystemImageList": "The handle of the system image list.",
    },
    "ShellFileEXE": {
        "OSVersionMinor": "The minor version of the system the program needs.",
        "OSVersionMajor": "The major version of the system the program needs.",
        "Signature": "\"PE\", \"NE\", \"MZ\", or \"\" for a file that is no program.",
    },
    "ShellFileIcon": {
        "Icon": "The icon picture.",
        "Index": "The index in the system image list; -1 for the default icon.",
    },
    "StdPicture": {
        "Handle": "A non-zero id of the picture, unique in the process.",
        "Type": "The picture type: 3, an icon.",
        "Width": "The width in HIMETRIC units (pixels * 2540 / 96).",
        "Height": "The height in HIMETRIC units (pixels * 2540 / 96).",
        "FileName": "The icon file; empty when no theme has one.",
        "Size": "The icon's size in pixels.",
        "OverlayFileName": "The emblem drawn over a link's icon; empty when none.",
    },
    "Collection": {
        "Item": "The item at a 1-based index or under a key.",
        "Add": "Adds an item, optionally under a key and before or after another item.",
        "Count": "The number of items.",
        "Remove": "Removes the item at a 1-based index or under a key.",
        "NewEnum": "An enumerator of the items (iteration uses it).",
    },
    "Enumerator": {
        "Next": "Gives the next item through Value; False at the end.",
        "Reset": "Starts again from the first item.",
    },
}

# Families of members described by their names.
_FOUNDED_ATTRIBUTES = ["ReadOnly", "Hidden", "System", "Directory", "Archive", "Device",
                       "Temporary", "SparseFile", "ReparsePoint", "Compressed", "Offline",
                       "NotContentIndexed", "Encrypted"]
for _name in _FOUNDED_ATTRIBUTES:
    MEMBERS["FoundedFile"]["Attribute" + _name] = f"True when the entry has the {_name} attribute."
for _name in ["Icon", "SmallIcon", "LinkOverlayIcon", "LinkOverlaySmallIcon", "OpenIcon",
              "OpenSmallIcon", "SelectedIcon", "SelectedSmallIcon", "ShellSizeIcon"]:
    MEMBERS["orvShellFileInfo"][_name] = (
        f"The file's {_name} (a ShellFileIcon), made on first use and kept until the next "
        "ReadFile; None before a successful ReadFile.")
for _part in ["Product", "File"]:
    for _name, _field in [("Major", "major"), ("Minor", "minor"),
                          ("RevisionMajor", "third"), ("RevisionMinor", "fourth")]:
        MEMBERS["orvFileVersion"][f"{_part}Ver{_name}"] = (
            f"The {_field} number of the {_part.lower()} version.")
for _name in ["Debug", "SpecialBuild", "PrivateBuild", "PreRelease", "Patched",
              "InfoInferred"]:
    MEMBERS["orvFileVersion"]["FileFlag" + _name] = f"True when the {_name} flag is set."
    MEMBERS["orvFileVersion"]["FileFlagMask" + _name] = (
        f"True when the {_name} flag is valid (in the flag mask).")
for _name in ["Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
              "LegalCopyright", "LegalTrademarks", "OLESelfRegister", "OriginalFilename",
              "PrivateBuild", "ProductName", "ProductVersion", "SpecialBuild"]:
    MEMBERS["orvFileVersion"]["Str" + _name] = (
        f"The {_name} string of the version resource, in LanguageName's table.")
MEMBERS["orvFileVersion"]["FileName"] = "The file last read."
del _name, _part, _field


def class_doc(name, library_description=""):
    return CLASSES.get(name) or library_description or None


def enum_doc(name):
    return ENUMS.get(name)


def _default_text(param, rules):
    default = param["default"]
    if default is _values.MISSING:
        return "left out"
    enum_class = rules.enums.get(param["type"])
    if enum_class is not None and default in enum_class._value2member_map_:
        return f"{enum_class.__name__}.{enum_class(default).name}"
    return repr(default)


def member_doc(class_name, member, rules):
    """The description of a member, then its parameters with their Python types."""
    lines = [MEMBERS.get(class_name, {}).get(member["name"], "")]
    params = member["params"]
    if params:
        lines += ["", "Parameters:"]
        for p in params:
            text = _values.annotation_text(rules.parameter_annotation(p))
            notes = []
            if _values.is_path(p):
                notes.append("a path")
            if p["optional"]:
                notes.append(f"optional, default {_default_text(p, rules)}")
            if p["by_ref"]:
                notes.append("by reference: a quern.Ref receives the value left")
            note = f" -- {'; '.join(notes)}" if notes else ""
            lines.append(f"    {p['name']}: {text}{note}")
    result = rules.member_result(member)
    if result is not None:
        lines += ["", f"Returns: {_values.annotation_text(result)}"]
    return "\n".join(lines).strip() or None
