#include "app/resultreader.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

bool ReadResultEvents(const QString& text, QString& number, ResultEvents& events)
{
    // The parser decodes "\u" escapes itself, surrogate pairs included.
    QByteArray bytes = text.toUtf8();
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return false;

    const QJsonObject reply = document.object();
    const QJsonArray data = reply.value(QLatin1String("data")).toArray();
    if (data.isEmpty())
        return false;
    number = reply.value(QLatin1String("nu")).toString();
    events.clear();
    events.reserve(data.size());
    for (const QJsonValue& entry : data) {
        const QJsonObject event = entry.toObject();
        events.append({event.value(QLatin1String("time")).toString(),
                       event.value(QLatin1String("context")).toString()});
    }
    return true;
}

bool ReadResultRow(const QString& text, QString& number, QString& context)
{
    QString readNumber;
    ResultEvents events;
    if (!ReadResultEvents(text, readNumber, events))
        return false;
    number = readNumber;
    context = events.first().context;
    return true;
}
