#pragma once

// The exception report of the ads engine's crash reporter: which uncaught exceptions the engine
// caused, and the GET URL that reports one.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"

// An uncaught exception as the process saw it: the thrown type's name, its message when it has
// one, and the return addresses of the stack it was thrown from, innermost first.
struct ZADUncaughtException {
  std::string name;
  std::optional<std::string> reason;
  std::vector<const void*> callStackReturnAddresses;
};

// One frame of a stack: the image file's last path component ("app" for the program itself,
// "missing" when unknown) and the nearest symbol's demangled name ("unavailable" when the address
// is in no image).
struct ZADStackFrame {
  std::string image;
  std::string symbol;
};

// Whether a text names the ads engine: it holds "ZAD" or "DAV".
bool ZADTextNamesAdsEngine(std::string_view text);
// The text with every hexadecimal number ("0x" and its digits) replaced by "#": addresses differ
// in every run and could identify the user's device state.
std::string ZADMaskHexadecimalNumbers(std::string_view text);
// The frame of each address, looked up in the loaded images.
std::vector<ZADStackFrame> ZADSymbolicateCallStack(const std::vector<const void*>& addresses);
// The frames as "image,symbol" lines, as many leading ones as fit in fewer than 600 characters;
// nothing when not even the first does.
std::optional<std::string> ZADStackText(const std::vector<ZADStackFrame>& frames);
// Whether a signing profile's "get-task-allow" entry is true: its value, the text between the
// second and third "<" after the key, holds "true".
bool ZADSigningProfileAllowsDebugging(const platform::Bytes& profile);
// Whether the bundle's signing profile ("embedded.mobileprovision") allows a debugger to attach:
// a development build. A desktop app has none, unless its bundle carries one.
bool ZADIsDevelopmentBuild();
// The report's URL on the ad server; nothing when the exception has nothing to do with the ads
// engine, by its message or by any frame's symbol.
std::optional<platform::URL> ZADExceptionReportURL(const ZADUncaughtException& exception,
                                                   const std::vector<ZADStackFrame>& frames);
