// A C++ client of the installed library: writes a UTF-8 text file through the application
// object, reads it back and prints it, so the install test sees the headers compile, the library
// link and load, and the round trip work.
#include <cstdio>
#include <string>

#include "fileio/orvFSO.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  quern::orvFSO& fso = quern::ApplicationObject();
  const std::u16string file = support::FileNameFromNative(argv[1]);
  try {
    fso.PutFile2(file, u"Grüße from an installed client", true, quern::feUTF8);
    std::printf("%s\n", support::Utf8FromUtf16(fso.GetFile2(file, true)).c_str());
    fso.GetFile2(file + u".missing", true);
  } catch (const support::Error& error) {
    // Errors cross the library boundary as the documented exception type.
    std::printf("error %d\n", static_cast<int>(error.number()));
    return 0;
  }
  return 1;
}
