// What the node tests use from the test-support library (tests/support/),
// under the names they use, with the runtime's names every one of them
// needs: the real plug-in loaded through the host runtime, settings
// objects, scratch folders, the host log, PDC files built and taken apart
// byte by byte, and the nodes' results.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/Log.h"
#include "host/core/ObjectTable.h"
#include "host/runtime/NodeInstance.h"
#include "host/runtime/Plugin.h"
#include "tests/support/Evaluations.h"
#include "tests/support/FileContents.h"
#include "tests/support/HostSetup.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/ScratchFolder.h"

namespace VelpoTest {

using VelpoTestSupport::AllNames;
using VelpoTestSupport::Clean;
using VelpoTestSupport::CParsedPdc;
using VelpoTestSupport::CPdcBytes;
using VelpoTestSupport::CRecord;
using VelpoTestSupport::CScratchFolder;
using VelpoTestSupport::Floats;
using VelpoTestSupport::Longs;
using VelpoTestSupport::MakeSettings;
using VelpoTestSupport::ParsePdc;
using VelpoTestSupport::Plugin;
using VelpoTestSupport::ReadBytes;
using VelpoTestSupport::SeededExport;
using VelpoTestSupport::Split;
using VelpoTestSupport::TakeLog;
using VelpoTestSupport::Untouched;
using VelpoTestSupport::Vectors;
using VelpoTestSupport::WriteBytes;

using VelpoHost::CEvaluateOptions;
using VelpoHost::CEvaluationResult;
using VelpoHost::CInput;
using VelpoHost::CNodeInstance;
using XSI::MATH::CVector3f;

}  // namespace VelpoTest
