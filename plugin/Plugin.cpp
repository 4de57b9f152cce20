// The plug-in's entry point: identity, version, the three nodes, and the one
// informational line the host shows at load.
#include "host/sdk/Xsi.h"
#include "plugin/PluginExport.h"
#include "plugin/Registration.h"

VELPO_EXPORT XSI::CStatus XSILoadPlugin(XSI::PluginRegistrar& registrar) {
    // Registration calls return statuses the host reports itself; a node that
    // fails to register still leaves the others usable, so none is checked.
    try {
        registrar.PutAuthor(L"Velpo");
        registrar.PutName(L"Velpo");
        registrar.PutEmail(L"velpo@localhost");
        registrar.PutURL(L"https://velpo.invalid");
        registrar.PutVersion(1, 0);

        RegisterVelpoImport(registrar);
        RegisterVelpoSetData(registrar);
        RegisterVelpoExport(registrar);

        XSI::Application().LogMessage(L"Velpo Loaded", XSI::siInfoMsg);
    } catch (...) {
        // Only an exhausted heap gets here; the host must not see it unwind.
    }
    return XSI::CStatus::OK;
}
