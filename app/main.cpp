#include <cstdio>
#include <cstring>

namespace {
void printUsage() {
  std::printf(
      "Usage: vokaru [options]\n"
      "Runs a web application in a native window.\n\n"
      "  --help       show this help\n"
      "  --version    show the version\n");
}
}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      printUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("vokaru %s\n", VOKARU_VERSION);
      return 0;
    }
    std::fprintf(stderr, "vokaru: unknown option '%s'\n", argv[i]);
    printUsage();
    return 2;
  }
  std::printf("vokaru %s\n", VOKARU_VERSION);
  printUsage();
  return 0;
}
