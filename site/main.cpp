// tracking-site: serves the stand-in tracking site until it is killed.

#include "site/trackingsite.h"

#include <httplib.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

int Fail(const QString& message)
{
    std::fprintf(stderr, "tracking-site: %s\n", qPrintable(message));
    return 1;
}

// Reads a whole number in [low, high]; false when the text is anything else.
bool ReadNumber(const QString& text, int low, int high, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= low && value <= high;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tracking-site"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A stand-in parcel-tracking site for Colvane's demo and tests."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Port to listen on (default 8089); 0 picks a free one."), QStringLiteral("port"),
        QStringLiteral("8089"));
    const QCommandLineOption bindOption(QStringLiteral("bind"),
        QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("address"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption delayOption(QStringLiteral("delay-ms"),
        QStringLiteral("Answer every request after this pause, in milliseconds."), QStringLiteral("ms"),
        QStringLiteral("0"));
    const QCommandLineOption dataOption(QStringLiteral("data"),
        QStringLiteral("Serve the parcels of this JSON file instead of the built-in set."),
        QStringLiteral("file"));
    const QCommandLineOption failOption(QStringLiteral("fail"),
        QStringLiteral("Break off the lookup of this number, as a site that cannot be "
                       "reached would (may be given more than once)."),
        QStringLiteral("number"));
    parser.addOptions({portOption, bindOption, delayOption, dataOption, failOption});
    parser.process(app);

    int port = 0;
    int delayMs = 0;
    if (!parser.positionalArguments().isEmpty())
        return Fail(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (!ReadNumber(parser.value(portOption), 0, 65535, port))
        return Fail(QStringLiteral("--port must be a number from 0 to 65535"));
    if (!ReadNumber(parser.value(delayOption), 0, 3600000, delayMs))
        return Fail(QStringLiteral("--delay-ms must be a number from 0 to 3600000"));

    CParcelSet parcels;
    if (parser.isSet(dataOption)) {
        const QString error = LoadParcelFile(parser.value(dataOption), parcels);
        if (!error.isEmpty())
            return Fail(error);
    } else {
        parcels = BuiltInParcelSet();
    }
    const size_t parcelCount = parcels.parcels.size();

    CTrackingSite site(std::move(parcels), delayMs);
    for (const QString& number : parser.values(failOption))
        site.FailRequestsFor(number.toStdString());
    httplib::Server server;
    site.Register(server);
    const std::string host = parser.value(bindOption).toStdString();
    if (port == 0)
        port = server.bind_to_any_port(host);
    else if (!server.bind_to_port(host, port))
        port = -1;
    if (port < 0)
        return Fail(QStringLiteral("cannot listen on %1 port %2")
                        .arg(parser.value(bindOption), parser.value(portOption)));

    // Scripts and tests wait for this line to learn that (and where) the site is up.
    std::printf(
        "tracking-site: serving %zu parcels at http://%s:%d/\n", parcelCount, host.c_str(), port);
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
