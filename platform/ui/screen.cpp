#include "platform/ui/screen.h"

namespace platform::ui {

Screen& Screen::main() {
  static Screen* screen = new Screen();  // lives as long as the process
  return *screen;
}

}  // namespace platform::ui
