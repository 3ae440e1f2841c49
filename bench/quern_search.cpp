// Times one orvFoundedFiles search and prints the seconds the call took.
//
//   quern_search ROOT [MASK]          RefreshEx2(ROOT, MASK or "*"), links not followed
//   quern_search --count ROOT [MASK]  the same, then the number of entries found (the whole
//                                     tree, through Item and Childs) on standard error, so
//                                     that the bench can check it found what find finds
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fileio/orvFoundedFiles.h"
#include "support/ov_unicode.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Entries of the whole result, with an explicit stack (the tree may be deep).
long CountEntries(const automation::Ref<quern::orvFoundedFiles>& top) {
  long count = 0;
  std::vector<automation::Ref<quern::orvFoundedFiles>> pending{top};
  while (!pending.empty()) {
    automation::Ref<quern::orvFoundedFiles> files = pending.back();
    pending.pop_back();
    for (int32_t i = 0; i < files->Count(); ++i) {
      automation::Ref<quern::FoundedFile> file = files->Item(i);
      ++count;
      if (file->AttributeDirectory()) pending.push_back(file->Childs());
    }
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const bool count = argc > 1 && std::strcmp(argv[1], "--count") == 0;
  if (count) --argc, ++argv;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: quern_search [--count] ROOT [MASK]\n");
    return 2;
  }
  const std::u16string root = support::FileNameFromNative(argv[1]);
  const std::u16string mask = support::FileNameFromNative(argc == 3 ? argv[2] : "*");
  auto files = automation::MakeObject<quern::orvFoundedFiles>();
  const auto start = std::chrono::steady_clock::now();
  const bool found = files->RefreshEx2(root, mask);
  std::printf("%.4f\n", Seconds(start));
  if (count) std::fprintf(stderr, "%ld\n", CountEntries(files));
  return found ? 0 : 1;
}
