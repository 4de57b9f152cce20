#include "tools/cli/OptionChecks.h"

#include <cmath>
#include <string>

#include "tools/common/Numbers.h"
#include "tools/common/Text.h"
#include "tools/preview/PreviewChoice.h"
#include "tools/preview/Projection.h"

namespace VelpoTools {

CLI::Validator FiniteNonNegative() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double value = 0.0;
            switch (ParseDouble(text, value)) {
                case CParsed::NotANumber:
                    return Quoted(text) + " is not a number";
                case CParsed::OutOfRange:
                    return Quoted(text) + " is beyond the range of numbers";
                case CParsed::Number:
                    break;
            }
            if (!std::isfinite(value)) {
                return Quoted(text) + " is not a finite number";
            }
            if (value < 0) {
                return Quoted(text) + " is negative; give 0 or more";
            }
            return std::string();
        },
        "NUMBER >= 0", "FiniteNonNegative");
}

CLI::Validator PictureSize() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            int width = 0;
            int height = 0;
            return ParseSize(text, width, height).Message();
        },
        "WIDTHxHEIGHT", "PictureSize");
}

CLI::Validator CameraPlacement() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            CCamera camera;
            return ParseCamera(text, camera).Message();
        },
        "EX,EY,EZ[,TX,TY,TZ[,FOV]]", "CameraPlacement");
}

}  // namespace VelpoTools
