#include "app/themeicon.h"

#include <QImageReader>
#include <QPixmap>

QIcon ThemeIconOr(const QString& themeName, const QString& pngPath)
{
    // Read as PNG outright: left to work out the format, Qt's reader first loads and asks
    // every image-format plugin installed, which costs start-up time and memory for nothing.
    QImageReader reader(pngPath, "png");
    reader.setAutoDetectImageFormat(false);
    return QIcon::fromTheme(themeName, QIcon(QPixmap::fromImage(reader.read())));
}
