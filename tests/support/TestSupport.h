// The test-support library (velpo_test_support), which every test program,
// benchmark and fuzz target links: what they need around the code under
// test, done one way for all of them.
//
//   ScratchFolder.h  a fresh folder per test, removed with its contents
//   FileContents.h   whole files read and written in one call
//   Streams.h        a C stream that closes itself; one over bytes in memory
//   PdcBytes.h       PDC files built and taken apart byte by byte,
//                    independently of the file layer
//   PdcLayouts.h     the nodes' slot layouts; cache files read and written
//                    through the file layer as the nodes do
//   HostSetup.h      the plug-in loaded through the host runtime, settings
//                    objects, the host log
//   Evaluations.h    node outputs in their types, clean runs, a seeded export
//
// Checks that must run in a forked child are in tests/ChildProcess.h
// (POSIX only).
#pragma once

#include "tests/support/Evaluations.h"
#include "tests/support/FileContents.h"
#include "tests/support/HostSetup.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/PdcLayouts.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/Streams.h"
