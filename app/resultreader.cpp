#include "app/resultreader.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

bool ReadResultRow(const QString& text, QString& number, QString& context)
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
    const QJsonArray events = reply.value(QLatin1String("data")).toArray();
    if (events.isEmpty())
        return false;
    number = reply.value(QLatin1String("nu")).toString();
    context = events.at(0).toObject().value(QLatin1String("context")).toString();
    return true;
}
