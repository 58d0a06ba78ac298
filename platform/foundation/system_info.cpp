#include "platform/foundation/system_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string readText(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string trim(std::string_view text) {
  const char* space = " \t\r\n";
  size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return "";
  size_t last = text.find_last_not_of(space);
  return std::string(text.substr(first, last - first + 1));
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// "en_US.UTF-8@euro" → "en_US"; empty for C, POSIX and text that is not a locale name.
std::string localeName(std::string_view text) {
  text = text.substr(0, text.find_first_of(".@"));
  if (text.empty() || text == "C" || text == "POSIX") return "";
  size_t letters = 0;
  while (letters < text.size() && text[letters] >= 'a' && text[letters] <= 'z') ++letters;
  if (letters < 2 || letters > 3) return "";
  if (letters < text.size() && text[letters] != '_') return "";
  return std::string(text);
}

std::string languageTag(std::string name) {
  for (char& c : name) {
    if (c == '_') c = '-';
  }
  return name;
}

// "/usr/share/zoneinfo/Europe/Berlin" → "Europe/Berlin"; empty when the path is not a zone file.
std::string zoneFromPath(std::string_view path) {
  constexpr std::string_view kMarker = "zoneinfo/";
  size_t at = path.rfind(kMarker);
  if (at == std::string_view::npos) return "";
  std::string_view zone = path.substr(at + kMarker.size());
  // The "posix/" and "right/" trees hold the same zones under a prefix.
  for (std::string_view prefix : {"posix/", "right/"}) {
    if (zone.starts_with(prefix)) zone.remove_prefix(prefix.size());
  }
  return std::string(zone);
}

}  // namespace

std::string paddedVersion(std::string_view version, size_t parts) {
  std::vector<std::string> numbers;
  size_t i = 0;
  while (numbers.size() < parts && i < version.size() && version[i] >= '0' && version[i] <= '9') {
    size_t start = i;
    while (i < version.size() && version[i] >= '0' && version[i] <= '9') ++i;
    numbers.emplace_back(version.substr(start, i - start));
    if (i < version.size() && version[i] == '.') {
      ++i;
    } else {
      break;
    }
  }
  if (numbers.empty()) return "";
  while (numbers.size() < parts) numbers.emplace_back("0");
  std::string out = numbers[0];
  for (size_t k = 1; k < numbers.size(); ++k) out += "." + numbers[k];
  return out;
}

OSRelease parseOSRelease(std::string_view text) {
  OSRelease release;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = trim(std::string_view(line).substr(0, eq));
    std::string value = trim(std::string_view(line).substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (key == "NAME") release.name = value;
    if (key == "VERSION_ID") release.version = paddedVersion(value);
  }
  return release;
}

std::string machineName() {
  utsname names{};
  return uname(&names) == 0 ? names.machine : "";
}

std::string systemName() {
  OSRelease release = parseOSRelease(readText("/etc/os-release"));
  if (!release.name.empty()) return release.name;
  utsname names{};
  return uname(&names) == 0 ? names.sysname : "Linux";
}

std::string systemVersion() {
  OSRelease release = parseOSRelease(readText("/etc/os-release"));
  if (!release.version.empty()) return release.version;
  utsname names{};
  std::string kernel = uname(&names) == 0 ? paddedVersion(names.release) : "";
  return kernel.empty() ? "0.0.0" : kernel;
}

std::string systemBuild() {
  utsname names{};
  return uname(&names) == 0 ? names.release : "";
}

std::string deviceModel() {
  std::string product = trim(readText("/sys/class/dmi/id/product_name"));
  return product.empty() ? "Linux PC" : product;
}

std::string currentLocaleIdentifier() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    std::string name = localeName(value);
    return name.empty() ? "en_US" : name;
  }
  return "en_US";
}

std::vector<std::string> preferredLanguages() {
  std::vector<std::string> languages;
  // Split by hand: a string stream would set up a locale for every request's headers.
  const char* list = std::getenv("LANGUAGE");
  std::string_view rest = list ? list : "";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    std::string name = localeName(entry);
    if (name.empty()) continue;
    std::string tag = languageTag(name);
    bool seen = false;
    for (const std::string& language : languages) seen = seen || language == tag;
    if (!seen) languages.push_back(tag);
  }
  if (languages.empty()) languages.push_back(languageTag(currentLocaleIdentifier()));
  return languages;
}

std::string timeZoneIdentifier() {
  std::string tz = environment("TZ");
  if (!tz.empty()) {
    if (tz.front() == ':') tz.erase(0, 1);
    std::string zone = zoneFromPath(tz);
    if (!zone.empty()) return zone;
    if (!tz.empty() && tz.front() != '/') return tz;
  }
  char target[4096];
  ssize_t length = readlink("/etc/localtime", target, sizeof target - 1);
  if (length > 0) {
    std::string zone = zoneFromPath(std::string_view(target, static_cast<size_t>(length)));
    if (!zone.empty()) return zone;
  }
  std::string zone = trim(readText("/etc/timezone"));
  return zone.empty() ? "UTC" : zone;
}

}  // namespace platform
