// Path resolution as the host does it for user-entered paths.
#pragma once

#include "host/sdk/CString.h"
#include "host/sdk/Export.h"

namespace XSI {

class XSI_API CUtils {
public:
    // Expands a leading "~" (alone or before a separator) to the home folder
    // and every $VAR or ${VAR} to the environment variable's value (an unset
    // reference is left as written). Everything else comes back unchanged.
    static CString ResolvePath(const CString& path);
};

}  // namespace XSI
