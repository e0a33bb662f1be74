// melvaro: the desktop application.
#include "main/bootstrap.h"

int main(int argc, char** argv) {
  return melvaro::RunMelvaro(argc, argv);
}
