// velpo: the plug-in's job without the host, and a look inside PDC files.
#include "tools/cli/Command.h"

int main(int argc, char** argv) {
    return VelpoTools::RunVelpo(argc, argv);
}
