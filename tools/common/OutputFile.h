// The one way the commands write a file: through the file layer's safe
// writer (pdc/SafeWrite.h), the same that writes the caches. A reader never
// sees half a file, a failure (a full disk, a folder that takes no new
// file) leaves the file that was there as it was with no scrap beside it,
// and links, owners and permissions of the file replaced are kept.
#pragma once

#include <filesystem>
#include <functional>

#include "base/Result.h"
#include "pdc/SafeWrite.h"
#include "tools/common/Output.h"

namespace VelpoTools {

// Lets `write` fill the file, checks that every write, the flush and the
// close succeeded, and only then puts it under `target`. Fails, naming
// `target` and the system's reason, when any step fails. Written as durable
// as OutputDurability says.
Velpo::CResult WriteFileReplacing(const std::filesystem::path& target,
                                  const std::function<void(COutput&)>& write);

// The same for content that may fail to be made while it is written (values
// that come in windows from an evaluation): a failure of `write` leaves the
// target as it was and is returned as it stands.
Velpo::CResult WriteFileReplacingChecked(const std::filesystem::path& target,
                                         const std::function<Velpo::CResult(COutput&)>& write);

// What the files written from now on survive (pdc/SafeWrite.h): a killed
// command by default, a power failure too once a command's --sync sets
// CDurability::Disk. Process-wide; may be read from any thread.
void SetOutputDurability(CDurability durability);
CDurability OutputDurability();

}  // namespace VelpoTools
