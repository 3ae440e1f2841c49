// Times one orvFSO call on a file and prints the seconds it took and the page faults it caused
// (minor faults from getrusage; the call alone: the text of PutFile2 is read beforehand, the
// text of GetFile2 is dropped afterwards). Each run is a fresh process, so the call is the
// first of its kind and nothing it allocates was ever touched before.
//
//   quern_io get2 FILE            GetFile2 with every format argument auto
//   quern_io put2 SOURCE TARGET utf8|utf16
//                                 reads SOURCE (as get2 would), then PutFile2 to TARGET
//   quern_io getb FILE            GetFileB
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "fileio/orvFSO.h"
#include "support/ov_unicode.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long MinorFaults() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: quern_io get2|getb FILE | put2 SOURCE TARGET utf8|utf16\n");
    return 2;
  }
  // The application object: no new class is made here, so nothing beyond the library is needed.
  quern::orvFSO& fso = quern::ApplicationObject();
  const std::string op = argv[1];
  const std::u16string file = support::FileNameFromNative(argv[2]);
  bool success = false;
  size_t units = 0;
  long faults = MinorFaults();
  const auto start = std::chrono::steady_clock::now();
  if (op == "get2") {
    units = fso.GetFile2(file, true, quern::feAuto, quern::fbAuto, quern::ibAuto, nullptr,
                         nullptr, nullptr, &success)
                .size();
  } else if (op == "getb") {
    units = fso.GetFileB(file, true, &success).size();
  } else if (op == "put2" && argc == 5) {
    const std::u16string text = fso.GetFile2(file, true);
    const bool utf16 = std::strcmp(argv[4], "utf16") == 0;
    faults = MinorFaults();
    const auto put_start = std::chrono::steady_clock::now();
    success = fso.PutFile2(support::FileNameFromNative(argv[3]), text, true,
                           utf16 ? quern::feUTF16 : quern::feUTF8, quern::fbBOM,
                           quern::ibDontInvertBytes);
    const double seconds = Seconds(put_start);
    std::printf("%.4f %ld\n", seconds, MinorFaults() - faults);
    return success ? 0 : 1;
  } else {
    std::fprintf(stderr, "quern_io: unknown operation %s\n", op.c_str());
    return 2;
  }
  const double seconds = Seconds(start);
  std::printf("%.4f %ld\n", seconds, MinorFaults() - faults);
  std::fprintf(stderr, "%zu\n", units);
  return success ? 0 : 1;
}
