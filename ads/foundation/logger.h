#pragma once

#include <string_view>

// The engine's console messages to the app's developer. Every message is written (no levels), in
// the order ZADLogMessage was called from any one thread, by one serial queue
// ("com.zorova.zizov.logging").
class ZADLogger {
 public:
  static ZADLogger& sharedInstance();
  // Logs "<Zorova> <message>".
  void logPublicMessage(std::string_view message);

 private:
  ZADLogger() = default;
};

// Formats the text at once (so the arguments are taken as they are now), then writes it to the
// console from the logging queue.
void ZADLogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
