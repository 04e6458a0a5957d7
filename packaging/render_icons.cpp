// Renders the Configurator's icon, as the windows paint it, into the hicolor sizes the package
// installs: render_icons FOLDER writes FOLDER/<size>/vandel-configurator.png.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

#include "app/WindowLook.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_icons FOLDER\n");
        return 2;
    }
    QGuiApplication application(argc, argv);
    for (const int size : {32, 48, 64, 128, 256}) {
        const QString folder = QString("%1/%2").arg(argv[1]).arg(size);
        QDir().mkpath(folder);
        if (!ConfiguratorPixmap(size).save(folder + "/vandel-configurator.png")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
