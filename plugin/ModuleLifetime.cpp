#include "plugin/ModuleLifetime.h"

#include <dlfcn.h>

namespace Vistrel {

void keepModuleLoaded() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&keepModuleLoaded), &self) != 0 && self.dli_fname != nullptr)
        dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

void joinOrDetach(std::thread& thread) {
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id()) {
        keepModuleLoaded();
        thread.detach();
    } else
        thread.join();
}

} // namespace Vistrel
