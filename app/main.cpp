#include <cstdio>
#include <cstring>

#include "platform/storage/app_environment.h"

namespace {
void printUsage() {
  std::printf(
      "Usage: vokaru [options]\n"
      "Runs a web application in a native window.\n\n"
      "  --bundle DIR     the app bundle to run (default: the folder of this executable)\n"
      "  --app-home DIR   the app's writable home\n"
      "                   (default: $XDG_DATA_HOME/vokaru/apps/<bundle id>)\n"
      "  --keychain DIR   the app's keychain folder\n"
      "                   (default: $XDG_DATA_HOME/vokaru/keychains/<bundle id>)\n"
      "  --help           show this help\n"
      "  --version        show the version\n");
}
}  // namespace

int main(int argc, char** argv) {
  platform::AppEnvironmentOptions places;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      printUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("vokaru %s\n", VOKARU_VERSION);
      return 0;
    }
    std::filesystem::path* place = nullptr;
    if (std::strcmp(argv[i], "--bundle") == 0) place = &places.bundle;
    if (std::strcmp(argv[i], "--app-home") == 0) place = &places.appHome;
    if (std::strcmp(argv[i], "--keychain") == 0) place = &places.keychainFolder;
    if (place && i + 1 < argc && argv[i + 1][0] != '\0') {
      *place = argv[++i];
      continue;
    }
    if (place) {
      std::fprintf(stderr, "vokaru: option '%s' needs a folder\n", argv[i]);
    } else {
      std::fprintf(stderr, "vokaru: unknown option '%s'\n", argv[i]);
    }
    printUsage();
    return 2;
  }
  platform::AppEnvironment::configure(places);
  std::printf("vokaru %s\n", VOKARU_VERSION);
  printUsage();
  return 0;
}
