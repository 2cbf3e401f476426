// The library's two exported entries. Both make a new instrument for the host.
#include <new>

#include "TThudraEffect.h"

namespace {

AEffect* CreateEffect(audioMasterCallback host) {
  try {
    auto* instrument = new (std::nothrow) TThudraEffect(host);
    return instrument ? instrument->Effect() : nullptr;
  } catch (...) {
    return nullptr;  // no memory for the sounds: the host sees a library without an effect
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) { return CreateEffect(host); }

// Exported under the name "main", as older hosts look it up.
__attribute__((visibility("default"))) AEffect* ThudraMainEntry(audioMasterCallback host) __asm__("main");
AEffect* ThudraMainEntry(audioMasterCallback host) { return CreateEffect(host); }

}  // extern "C"
