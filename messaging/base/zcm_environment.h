#pragma once
// The clock, the app's identity, the free storage space and the library's own version, as the
// messaging client reads them.
#include <cstdint>
#include <optional>
#include <string>

// Whole seconds since 1970 from the clock in use (the fraction cut off); milliseconds at
// whole-second resolution.
int64_t ZCMCurrentTimestampInSeconds();
int64_t ZCMCurrentTimestampInMilliseconds();

// The main bundle's "CFBundleShortVersionString"; "" and an error line when it is missing or
// empty.
std::string ZCMCurrentAppVersion();
// The main bundle's identifier; nothing when it has none.
std::optional<std::string> ZCMAppBundleIdentifier();

// Whole MiB free on the file system of the documents folder; 0 and an error line when it can't be
// read.
uint64_t ZCMGetFreeDiskSpaceInMB();
// Whole MiB in a byte count.
inline uint64_t ZCMWholeMebibytes(uint64_t bytes) { return bytes / 1048576; }

// "1.1.0".
const std::string& ZCMCurrentLibraryVersion();
