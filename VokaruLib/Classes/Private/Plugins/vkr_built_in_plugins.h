#pragma once

// The runtime's built-in plugins and engine, registered by name. The host controller calls this
// so that every program that has a controller has them (config.xml names them).
void vkrRegisterBuiltInPlugins();
