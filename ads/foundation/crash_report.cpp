#include "ads/foundation/crash_report.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "ads/foundation/app_facts.h"
#include "ads/foundation/device.h"
#include "ads/foundation/sdk_core_services.h"
#include "ads/foundation/server_hosts.h"
#include "ads/foundation/url_additions.h"
#include "platform/storage/bundle.h"
#include "platform/storage/file_manager.h"
#include "platform/storage/user_defaults.h"

namespace {

constexpr size_t kStackTextLimit = 600;

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string demangled(const char* name) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> readable(
      abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
  return status == 0 && readable ? std::string(readable.get()) : std::string(name);
}

std::string lastPathComponent(const char* path) {
  return std::filesystem::path(path).filename().string();
}

// The file name of the image that holds this code: the program, or the library it is part of.
std::string ownImageName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ownImageName), &info) != 0 && info.dli_fname) {
    return lastPathComponent(info.dli_fname);
  }
  return program_invocation_short_name;
}

std::string orError(std::string text) { return text.empty() ? "error" : text; }

// The text between the second and third "<" after the first `key` in the bytes; nothing when any
// of them is missing.
std::optional<std::string> textAfterKey(const platform::Bytes& bytes, std::string_view key) {
  const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  size_t at = content.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  size_t marks[3];
  at += key.size();
  for (size_t& mark : marks) {
    mark = content.find('<', at);
    if (mark == std::string_view::npos) return std::nullopt;
    at = mark + 1;
  }
  return std::string(content.substr(marks[1], marks[2] - marks[1]));
}

}  // namespace

bool ZADTextNamesAdsEngine(std::string_view text) {
  return text.find("ZAD") != std::string_view::npos || text.find("DAV") != std::string_view::npos;
}

std::string ZADMaskHexadecimalNumbers(std::string_view text) {
  std::string masked;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '0' && i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        isHexDigit(text[i + 2])) {
      i += 2;
      while (i < text.size() && isHexDigit(text[i])) ++i;
      masked += '#';
    } else {
      masked += text[i++];
    }
  }
  return masked;
}

std::vector<ZADStackFrame> ZADSymbolicateCallStack(const std::vector<const void*>& addresses) {
  const std::string program = ownImageName();
  std::vector<ZADStackFrame> frames;
  frames.reserve(addresses.size());
  for (const void* address : addresses) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) {
      frames.push_back({"missing", "unavailable"});
      continue;
    }
    std::string image = info.dli_fname ? lastPathComponent(info.dli_fname) : "missing";
    if (image.empty()) image = "missing";
    if (image == program) image = "app";
    frames.push_back({std::move(image), info.dli_sname ? demangled(info.dli_sname) : ""});
  }
  return frames;
}

std::optional<std::string> ZADStackText(const std::vector<ZADStackFrame>& frames) {
  std::optional<std::string> text;
  for (const ZADStackFrame& frame : frames) {
    std::string line = frame.image + "," + frame.symbol;
    const size_t length = text ? text->size() + 1 + line.size() : line.size();
    if (length >= kStackTextLimit) break;
    text = text ? *text + "\n" + line : line;
  }
  return text;
}

bool ZADIsDevelopmentBuild() {
  const auto path = platform::Bundle::mainBundle()->pathForResource("embedded", "mobileprovision");
  if (!path) return false;
  platform::Result<platform::Bytes> content = platform::FileManager::contentsOfFile(*path);
  return content.ok() && ZADSigningProfileAllowsDebugging(*content);
}

bool ZADSigningProfileAllowsDebugging(const platform::Bytes& profile) {
  const std::optional<std::string> value = textAfterKey(profile, "get-task-allow");
  return value && value->find("true") != std::string::npos;
}

std::optional<platform::URL> ZADExceptionReportURL(const ZADUncaughtException& exception,
                                                   const std::vector<ZADStackFrame>& frames) {
  const std::optional<std::string>& reason = exception.reason;
  bool fromEngine = reason && ZADTextNamesAdsEngine(*reason);
  std::optional<std::string> engineSymbol;
  for (const ZADStackFrame& frame : frames) {
    if (ZADTextNamesAdsEngine(frame.symbol)) {
      engineSymbol = frame.symbol;
      fromEngine = true;
      break;
    }
  }
  if (!fromEngine) return std::nullopt;

  const ZADDevice& device = ZADDevice::sharedInstance();
  platform::Dictionary parameters{
      {"os", orError(device.systemVersion())},
      {"appid", orError(ZADMainBundleIdentifier())},
      {"api", orError(ZADApplicationVersion())},
      {"js", orError(ZADRequest::sdkVersion())},
      {"device", orError(device.deviceModel())},
      {"dev-build", ZADIsDevelopmentBuild() ? "1" : "0"},
      {"excn", exception.name.empty() ? "unknown" : exception.name},
      {"excr", !reason                          ? "unknown"
               : ZADTextNamesAdsEngine(*reason) ? ZADMaskHexadecimalNumbers(*reason)
                                                : "redacted"},
      {"exclc", engineSymbol.value_or(".")},
      {"excst", ZADStackText(frames).value_or("error")},
      {"id", "zodi-apps-report-exception"},
  };
  const platform::Value experiment =
      platform::UserDefaults::standard()->objectForKey("/zorova/ads/prefetch_experiment_id");
  if (const std::string* eids = experiment.stringIf()) parameters.set("eids", *eids);
  platform::Result<platform::URL> base =
      platform::URL::parse(ZADAdServerBaseURL() + "/zads/gen_204");
  if (!base.ok()) return std::nullopt;
  return zad_URLByAppendingQueryParameters(*base, parameters);
}
