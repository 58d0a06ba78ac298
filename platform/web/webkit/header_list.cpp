#include "platform/web/webkit/header_list.h"

namespace platform::web {

HeaderList headerListOf(SoupMessageHeaders* headers) {
  HeaderList list;
  if (!headers) return list;
  soup_message_headers_foreach(
      headers,
      [](const char* name, const char* value, gpointer data) {
        static_cast<HeaderList*>(data)->emplace_back(name, value);
      },
      &list);
  return list;
}

}  // namespace platform::web
