#include "api/load_unload.h"

#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("MAIN");

namespace vkt {

int dll_main(uint32_t reason) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // The start line names the entry point's historic place.
            ::TraceStart(trace::kModule, "MAIN", 80, 0);
            break;
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH:
            break;
        case DLL_PROCESS_DETACH:
            VKT_TRACE_WARNING("VKTAPI DllMain DLL_PROCESS_DETACH");
            break;
        default:
            VKT_TRACE_WARNING("VKTAPI DllMain Who knows?");
            break;
    }
    return 1;
}

}  // namespace vkt

// ELF load and unload stand in for the process attach and detach notifications.
__attribute__((constructor)) static void orvkt_on_load() { vkt::dll_main(vkt::DLL_PROCESS_ATTACH); }
__attribute__((destructor)) static void orvkt_on_unload() { vkt::dll_main(vkt::DLL_PROCESS_DETACH); }
