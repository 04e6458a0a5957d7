// vandel-configurator: the window program.
#include "app/Startup.h"

int main(int argc, char** argv) {
    return ConfiguratorMain(argc, argv);
}
