#pragma once

#include <QIcon>
#include <QString>

// The icon theme's icon of that name, else the compiled-in PNG image at pngPath.
QIcon ThemeIconOr(const QString& themeName, const QString& pngPath);
