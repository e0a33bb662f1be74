// Inserting N files into one directory (next to 20 000 directories) and laying the
// compilation out, without writing, for N = 300 000 and 600 000 in turn: prints the ratio
// of each pair of runs, one line each (five pairs, or as many as the argument says). The
// files are described by synthetic search records, so the figure is the compilation's own
// cost, not the file system's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compilation/compilation.h"
#include "platform/file_dates.h"

using namespace melvaro;

namespace {

double Run(int files) {
  const auto start = std::chrono::steady_clock::now();
  TCompilation c;
  c.ClearCompilation(600000, 20000);
  for (int d = 0; d < 20000 - 1; ++d) c.CreateDirectory(c.RootDir(), "dir" + std::to_string(d), 16);
  TDEntry* big = c.CreateDirectory(c.RootDir(), "files", 16);
  TSearchRec rec;
  rec.Time = PackDosDate(std::time(nullptr));
  rec.Size = 1024;
  char name[32];
  for (int i = 0; i < files - 20000; ++i) {
    std::snprintf(name, sizeof name, "file%07d.dat", i);
    rec.Name = name;
    c.AddFileEntry(big, rec, false, 0, name);
  }
  c.LayoutImage(true);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  for (int i = 0; i < pairs; ++i) {
    const double t300 = Run(300000);
    const double t600 = Run(600000);
    std::printf("%.3f\n", t600 / t300);
    std::fflush(stdout);
  }
  return 0;
}
