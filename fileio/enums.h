// The enumerations of the library's type library, as C++ clients see them. Each has a fixed
// 32-bit underlying type, so a value outside the named members can still be passed (and is
// refused by the member that checks it).
#pragma once

#include <cstdint>

namespace quern {

enum FileEncodingConst : int32_t { feAuto = 0, feANSI = 1, feUTF8 = 2, feUTF16 = 3 };
enum FileBOMConst : int32_t { fbAuto = 0, fbNoBOM = 1, fbBOM = 2 };
enum InvertBytesConst : int32_t { ibAuto = 0, ibDontInvertBytes = 1, ibInvertBytes = 2 };
enum FileZoneConst : int32_t {
  fzLocalMachine = 0,
  fzLocalIntranet = 1,
  fzSafeSites = 2,
  fzInternet = 3,
  fzRestrictedSites = 4
};
enum CompressionFormatConst : int32_t { cfError = -1, cfNone = 0, cfDefault = 1, cfLZNT1 = 2 };
enum FileOS_Const : int32_t {
  FileOS_PM16 = 2,
  FileOS_PM32 = 3,
  FileOS_Windows16 = 1,
  FileOS_Windows32 = 4,
  FileOS_DOS = 0x10000,
  FileOS_DOS_Windows16 = 0x10001,
  FileOS_DOS_Windows32 = 0x10004,
  FileOS_NT = 0x40000,
  FileOS_NT_Windows32 = 0x40004,
  FileOS_OS216 = 0x20000,
  FileOS_OS216_PM16 = 0x20002,
  FileOS_OS232 = 0x30000,
  FileOS_OS232_PM32 = 0x30003,
  FileOS_Unknown = 0
};
enum FileType_Const : int32_t {
  FileType_Unknown = 0,
  FileType_App = 1,
  FileType_DLL = 2,
  FileType_Drv = 3,
  FileType_Font = 4,
  FileType_VXD = 5,
  FileType_Static_Lib = 7
};
enum FileSubType_Const : int32_t {
  FileSubType_Drv_COMM = 10,
  FileSubType_Drv_Display = 4,
  FileSubType_Drv_InputMethod = 11,
  FileSubType_Drv_Installable = 8,
  FileSubType_Drv_KeyBoard = 2,
  FileSubType_Drv_Language = 3,
  FileSubType_Drv_Mouse = 5,
  FileSubType_Drv_Network = 6,
  FileSubType_Drv_Printer = 1,
  FileSubType_Drv_Sound = 9,
  FileSubType_Drv_System = 7,
  FileSubType_Font_Raster = 1,
  FileSubType_Font_TrueType = 3,
  FileSubType_Font_Vector = 2,
  FileSubType_Unknown = 0
};

}  // namespace quern
