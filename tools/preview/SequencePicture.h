// What drawing a whole sequence into one picture (a sheet, a chart) came
// to, for the command to show: the library draws and writes, the command
// prints and picks the exit code.
#pragma once

#include <fmt/format.h>

#include <cstddef>
#include <string>
#include <utility>

#include "base/Result.h"

namespace VelpoTools {

struct CSequencePicture {
    // What was written, "<output>: 800x600, a sheet of 4 frames, ..."; empty
    // when nothing was.
    std::string written;
    // Failed: frames could not be read (the picture is written, with them
    // marked), or no picture could be made or written. The message says
    // which and names the files.
    Velpo::CResult problem = Velpo::CResult::Ok();
    // The failure is the choice's own (more frames than the size can show,
    // a view that sees nothing): a usage error.
    bool refused = false;

    // Written, `unread` of `frames` frames marked on it ("sheet", "chart").
    static CSequencePicture Written(std::string written, size_t unread, size_t frames,
                                    const char* surface) {
        CSequencePicture picture{std::move(written), Velpo::CResult::Ok(), false};
        if (unread > 0) {
            picture.problem = Velpo::CResult::Fail(
                fmt::format("{} of {} frames could not be read; they are marked on the {}", unread,
                            frames, surface));
        }
        return picture;
    }
    static CSequencePicture Refused(Velpo::CResult why) { return {{}, std::move(why), true}; }
    static CSequencePicture Failed(Velpo::CResult why) { return {{}, std::move(why), false}; }
};

}  // namespace VelpoTools
