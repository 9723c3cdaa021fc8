#pragma once
// The plug-in's entry points, looked up by the host with dlsym after loading
// libqvvandrelbrenmooru.so. Each returns 0 or a negative status code.
//
// Initialise and finalise are counted: the first initialise builds the plug-in's process-wide
// objects (module discovery, its notification thread, the alias store and its threads), each
// further one only counts; the finalise that matches the first initialise tears them down. A
// finalise without a matching initialise changes nothing and returns -52003.

#include <cstdint>

#define QVKEL_EXPORT __attribute__((visibility("default")))

extern "C" {

QVKEL_EXPORT int32_t qvkel_initializePlugin(void);
// Version 0: a new qvkel::IDeviceList for the caller to own. Another version gives -52005 and
// a null interface; a null out pointer -52005; a plug-in that is not initialised, or whose
// last finalise is under way, -52003 and a null interface.
QVKEL_EXPORT int32_t qvkel_getPluginInterface(uint32_t version, void** interfaceOut);
QVKEL_EXPORT int32_t qvkel_finalizePlugin(void);

typedef int32_t (*qvkel_initializePlugin_t)(void);
typedef int32_t (*qvkel_getPluginInterface_t)(uint32_t, void**);
typedef int32_t (*qvkel_finalizePlugin_t)(void);
}
