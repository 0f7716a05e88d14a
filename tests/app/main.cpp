#include <QApplication>

int RunAppTests(int argc, char** argv);
int RunEndToEndTests(int argc, char** argv);
int RunSilentSiteTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return RunAppTests(argc, argv) + RunEndToEndTests(argc, argv)
        + RunSilentSiteTests(argc, argv);
}
