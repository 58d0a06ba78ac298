#pragma once

#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same with an argument list, which it leaves untouched (it formats from a copy).
std::string vformat(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

// Writes one console line to stderr, prefixed with the local time and the process id.
void log(std::string_view message);
void logf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Every logged message (without the prefix) is also handed to the observer while one is set;
// tests use it to check the exact texts. Answers the previous observer.
using LogObserver = std::function<void(std::string_view message)>;
LogObserver setLogObserver(LogObserver observer);

// Turns console output off (the observer still sees every message); for benchmarks and tools.
void setConsoleLogging(bool enabled);

}  // namespace platform
