// What the PDC tests use from the test-support library (tests/support/),
// under the names they use: a scratch folder, files built byte by byte,
// whole files, streams that close themselves, and the nodes' slot layout.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdc/Pdc.h"
#include "tests/support/FileContents.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/PdcLayouts.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/Streams.h"

namespace PdcTest {

using Bytes = std::vector<unsigned char>;
using CBytes = VelpoTestSupport::CPdcBytes;
using CTempFolder = VelpoTestSupport::CScratchFolder;
using VelpoTestSupport::CFile;
using VelpoTestSupport::CNamedSlot;
using VelpoTestSupport::ReadPdcFile;
using VelpoTestSupport::SetLayout;
using VelpoTestSupport::Text;

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    VelpoTestSupport::WriteBytes(path, bytes);
}

inline Bytes ReadFile(const std::string& path) {
    return VelpoTestSupport::ReadBytes(path);
}

}  // namespace PdcTest
