#pragma once

// The process-wide settings of fetch debug logging and the number of the last logged fetch.
// Thread-safe.

#include <filesystem>
#include <optional>
#include <string>

namespace fetch_log_settings {

bool enabled();
void setEnabled(bool enabled);
bool toFile();
void setToFile(bool toFile);
// Documents/ZTMHTTPDebugLogs unless set; made when missing; nullopt when it cannot be made.
std::optional<std::filesystem::path> directory();
void setDirectory(std::optional<std::filesystem::path> directory);
// The folder of this run, chosen (and made) on first use; nullopt when it cannot be made. A
// folder of the same name from an earlier run is left alone: the new one takes "_2", "_3", ...
std::optional<std::filesystem::path> runDirectory();
void setRunDirectory(std::optional<std::filesystem::path> directory);
// The process's name with blanks made "_".
std::string processName();
void setProcessName(std::string name);
// The time of first use, "M-dd_hh-mm-ssa" in local time.
std::string dateStamp();
void setDateStamp(std::string stamp);
// "<process name>_log_", fixed at first use.
std::string processNamePrefix();
// The next fetch number (1 for the first).
int nextFetchNumber();
// True the first time only: the one "logging to" console report.
bool takeFirstReport();

inline constexpr const char* kSymlinkNameSuffix = "_log_newest.html";
inline constexpr const char* kHTMLFileName = "aperçu_http_log.html";
inline constexpr const char* kDirectoryName = "ZTMHTTPDebugLogs";

}  // namespace fetch_log_settings
