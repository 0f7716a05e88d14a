#include "app/colvane.h"
#include "app/quitsignals.h"
#include "app/themeicon.h"
#include "app/translation.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLocale>

#include <curl/curl.h>

namespace {
// libcurl's global state is set up before any thread exists and torn down after the window,
// and with it the lookup thread, is gone.
struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};
} // namespace

int main(int argc, char* argv[])
{
    const CurlGlobal curlGlobal;
    // The window draws no OpenGL: without this, Qt would prepare every top-level window for
    // it, which on a Mesa desktop loads the GL driver and doubles start-up time and memory.
    QApplication::setAttribute(Qt::AA_ForceRasterWidgets);
#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 scales to the screen's DPI by itself; unasked, Qt 5 draws the window, which the
    // manifest declares per-monitor aware, at its 100 % size, tiny at 150 %. Linux keeps
    // Qt 5's default: asked to scale, Qt 5 on X11 would go by the monitor's physical DPI
    // wherever the desktop sets no Xft.dpi, where Qt 6 takes 96.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    // 150 % stays 1.5 rather than rounding to 2, as Qt 6 keeps it.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
#endif
    QApplication application(argc, argv);
    // Lets desktop shells match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("colvane"));
    InstallTranslations(application, ChooseWindowLanguage(QLocale::system().uiLanguages()));
    QuitOnTerminationSignals(application);
    Colvane window;
    window.setWindowTitle(Colvane::WindowTitle());
    window.setWindowIcon(
        ThemeIconOr(QStringLiteral("select"), QStringLiteral(":/Colvane/images/exe.png")));
    window.show();
    return application.exec();
}
