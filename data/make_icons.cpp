// Writes the application icon into a hicolor-style tree at build time:
//   <out>/<n>x<n>/apps/<name>.png for every size the icon is drawn at.
// The images are the ones the window uses (AppIconImage), so the desktop's menu shows the
// same pictures as the title bar. Needs no display: only QImage work, no QGuiApplication.
#include "artwork.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR ICON_NAME\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int size : artwork::AppIconSizes) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(dir, name);
        if (!QDir().mkpath(dir) || !artwork::AppIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
            return 1;
        }
    }
    return 0;
}
