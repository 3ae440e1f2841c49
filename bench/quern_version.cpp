// The version benchmark's driver.
//
//   quern_version make FILE MIB   writes a PE image of about MIB MiB whose resource section
//                                 (with a version resource) comes after MIB MiB of code
//   quern_version read FILE REPS  orvFileVersion.ReadFile REPS times on FILE; prints the median
//                                 seconds of one call and the file version text read
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "automation/object.h"
#include "fileio/orvFileVersion.h"
#include "fileio/pe_builder.h"
#include "support/ov_unicode.h"

namespace {

int Make(const char* path, long mib) {
  quern::testing::VersionSpec spec;
  spec.file_version[0] = 10;
  spec.file_version[3] = 42;
  spec.tables = {{u"040904B0", {{u"FileVersion", u"10.0.0.42"}, {u"ProductName", u"Big"}}}};
  quern::testing::PeOptions options;
  options.pe32_plus = true;
  options.version_block = quern::testing::VersionBlock(spec);
  options.code_size = static_cast<uint32_t>(mib) * 1024 * 1024;
  const auto pe = quern::testing::BuildPe(options);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(pe.bytes.data()),
             static_cast<std::streamsize>(pe.bytes.size()));
  return 0;
}

int Read(const char* path, int reps) {
  const std::u16string file = support::FileNameFromNative(path);
  auto version = automation::MakeObject<quern::orvFileVersion>();
  std::vector<double> times;
  for (int i = 0; i < reps; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!version->ReadFile(file)) {
      std::fprintf(stderr, "no version resource in %s\n", path);
      return 1;
    }
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%.9f %s\n", times[times.size() / 2],
              support::Utf8FromUtf16(version->StrFileVersion()).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string op = argc == 4 ? argv[1] : "";
  if (op == "make") return Make(argv[2], std::atol(argv[3]));
  if (op == "read") return Read(argv[2], std::max(1, std::atoi(argv[3])));
  std::fprintf(stderr, "usage: quern_version make FILE MIB | read FILE REPS\n");
  return 2;
}
