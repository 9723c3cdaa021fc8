#pragma once

// The process-wide state behind the interposer hooks, as the testbed drives it.
#include <memory>
#include <string>

#include "sim/kernel/DeviceNode.h"
#include "sim/kernel/Testbed.h"

namespace sim::kernel {

// Starts and ends redirection into `root`.
void activate(const std::string& root);
void deactivate();

// Opening the file at `realPath` (a path inside the testbed) binds the descriptor to `node`.
void bindNodePath(const std::string& realPath, std::shared_ptr<DeviceNode> node);
void unbindNodePath(const std::string& realPath);

void setLibrary(const std::string& fileName, LibraryChoice choice, const std::string& path);
void clearLibrary(const std::string& fileName);
void clearLibraries();

}  // namespace sim::kernel
