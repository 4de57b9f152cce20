// The requests the view server answers (see ViewServer.h for the list),
// over the state the server shares between its threads. Internal to
// velpo_view.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "tools/view/ViewAccess.h"
#include "tools/view/ViewSequence.h"
#include "tools/view/ViewServer.h"

namespace httplib {
class Server;
}

namespace VelpoTools {

struct CViewContext {
    CViewContext(std::vector<CSequenceFrame> frames, CViewOptions viewOptions)
        : options(std::move(viewOptions)), sequence(std::move(frames)) {}

    CViewOptions options;
    CAccessRule access;
    CViewSequence sequence;
    // Frames are read one at a time, which bounds the memory of reading.
    std::mutex readMutex;
    // The last points sent, for a repeated request.
    std::mutex cacheMutex;
    std::string cachedKey;
    std::shared_ptr<const std::string> cached;
};

void AddViewRoutes(httplib::Server& server, CViewContext& context);

}  // namespace VelpoTools
