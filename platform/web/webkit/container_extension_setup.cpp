#include "platform/web/webkit/container_extension_setup.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/foundation/log.h"

namespace platform::web {

namespace {

constexpr const char* kExtensionFileName = "vokaru-container-extension.so";

GVariant* stringArray(const std::vector<std::string>& strings) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
  for (const std::string& text : strings) g_variant_builder_add(&builder, "s", text.c_str());
  return g_variant_builder_end(&builder);
}

}  // namespace

std::filesystem::path defaultWebExtensionsDirectory() {
  if (const char* set = std::getenv("VOKARU_WEB_EXTENSIONS_DIR"); set && *set) return set;
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : executable.parent_path() / "web-extensions";
}

void confineWebProcesses(WebKitWebContext* context, const AppContainer& container,
                         const std::filesystem::path& extensionsDirectory) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(extensionsDirectory / kExtensionFileName, error)) {
    logf("The web process extension %s is missing: pages' file requests are not confined",
         (extensionsDirectory / kExtensionFileName).c_str());
  }
  webkit_web_context_set_web_extensions_directory(context, extensionsDirectory.c_str());
  // Floating: the context takes it.
  webkit_web_context_set_web_extensions_initialization_user_data(
      context, g_variant_new("(@as@as@as)", stringArray(container.readOnly),
                             stringArray(container.readWrite), stringArray(container.excluded)));
}

}  // namespace platform::web
