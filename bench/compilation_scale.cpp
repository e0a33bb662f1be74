// Inserting N files into one directory (next to 20 000 directories) and laying the
// compilation out, without writing: prints the seconds for N = 300 000 and 600 000 and
// their ratio. The files are described by synthetic search records, so the figure is
// the compilation's own cost, not the file system's.
#include <chrono>
#include <cstdio>
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

int main() {
  double t300 = 1e9, t600 = 1e9;
  for (int i = 0; i < 3; ++i) {
    t300 = std::min(t300, Run(300000));
    t600 = std::min(t600, Run(600000));
  }
  std::printf("%.3f %.3f %.2f\n", t300, t600, t600 / t300);
  return 0;
}
