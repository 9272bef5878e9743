// Writes the program icon, as the window draws it, as one PNG per size into
// the icon theme's layout: OUT/<size>x<size>/apps/kestroconfigure.png.
//   kestroconfigure_icons OUT
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <cstdio>

#include "../qt/artwork.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestroconfigure_icons OUT\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QIcon icon = kestro::ProgramIcon();
    for (const QSize& size : icon.availableSizes()) {
        const QString dir = QStringLiteral("%1/%2x%3/apps")
                                .arg(QString::fromLocal8Bit(argv[1]))
                                .arg(size.width())
                                .arg(size.height());
        if (!QDir().mkpath(dir) ||
            !icon.pixmap(size).save(dir + QStringLiteral("/kestroconfigure.png"), "PNG")) {
            std::fprintf(stderr, "kestroconfigure_icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
