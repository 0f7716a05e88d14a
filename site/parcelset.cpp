#include "site/parcelset.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace {

const char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss";

// Courier names and numbers become parts of dash-separated addresses, so they stay plain.
bool IsPlainName(const QString& text, const QString& pattern)
{
    return QRegularExpression(QStringLiteral("\\A%1\\z").arg(pattern)).match(text).hasMatch();
}

// A missing optional key leaves value as it was; a key of the wrong type is an error.
bool ReadString(
    const QJsonObject& object, const char* key, bool required, QString& value, QString& error)
{
    const QJsonValue found = object.value(QLatin1String(key));
    if (found.isUndefined() && !required)
        return true;
    if (!found.isString() || (required && found.toString().isEmpty())) {
        error = QStringLiteral("\"%1\" must be a %2string")
                    .arg(QLatin1String(key), required ? "non-empty " : "");
        return false;
    }
    value = found.toString();
    return true;
}

QString ReadEvent(const QJsonValue& value, CTrackEvent& event)
{
    if (!value.isObject())
        return QStringLiteral("is not an object");
    const QJsonObject object = value.toObject();
    QString error;
    if (!ReadString(object, "time", true, event.time, error)
        || !ReadString(object, "context", true, event.context, error)
        || !ReadString(object, "location", false, event.location, error))
        return error;
    if (!QDateTime::fromString(event.time, QLatin1String(kTimeFormat)).isValid())
        return QStringLiteral("\"time\" must be a date and time written as \"%1\", not \"%2\"")
            .arg(QLatin1String(kTimeFormat), event.time);
    return QString();
}

QString ReadParcel(const QJsonValue& value, const CParcelSet& set, CParcel& parcel)
{
    if (!value.isObject())
        return QStringLiteral("is not an object");
    const QJsonObject object = value.toObject();
    QString number, exname, error;
    parcel.state = QStringLiteral("0");
    if (!ReadString(object, "nu", true, number, error)
        || !ReadString(object, "exname", true, exname, error)
        || !ReadString(object, "state", false, parcel.state, error))
        return error;
    if (!IsPlainName(number, QStringLiteral("[A-Za-z0-9]{1,64}")))
        return QStringLiteral("\"nu\" \"%1\" must be 1 to 64 letters and digits").arg(number);
    parcel.number = number.toStdString();
    parcel.exname = exname.toStdString();
    if (set.couriers.count(parcel.exname) == 0)
        return QStringLiteral("\"exname\" \"%1\" is not listed under \"couriers\"").arg(exname);
    if (set.parcels.count(parcel.number) != 0)
        return QStringLiteral("\"nu\" \"%1\" is listed twice").arg(number);

    const QJsonValue events = object.value(QLatin1String("events"));
    if (!events.isArray())
        return QStringLiteral("\"events\" must be an array");
    const QJsonArray array = events.toArray();
    for (int i = 0; i < array.size(); ++i) {
        CTrackEvent event;
        const QString eventError = ReadEvent(array.at(i), event);
        if (!eventError.isEmpty())
            return QStringLiteral("event %1: %2").arg(i + 1).arg(eventError);
        parcel.events.push_back(event);
    }
    std::stable_sort(parcel.events.begin(), parcel.events.end(),
        [](const CTrackEvent& a, const CTrackEvent& b) { return a.time > b.time; });
    return QString();
}

QString ReadCouriers(const QJsonValue& value, CParcelSet& set)
{
    if (!value.isObject() || value.toObject().isEmpty())
        return QStringLiteral("\"couriers\" must be an object with at least one courier");
    const QJsonObject couriers = value.toObject();
    for (auto it = couriers.begin(); it != couriers.end(); ++it) {
        if (!IsPlainName(it.key(), QStringLiteral("[a-z0-9]{1,32}")))
            return QStringLiteral(
                "courier \"%1\": its name must be 1 to 32 small letters and digits")
                .arg(it.key());
        if (!it.value().isObject())
            return QStringLiteral("courier \"%1\" is not an object").arg(it.key());
        CCourier courier;
        QString error;
        if (!ReadString(it.value().toObject(), "name", true, courier.name, error)
            || !ReadString(it.value().toObject(), "tel", false, courier.tel, error))
            return QStringLiteral("courier \"%1\": %2").arg(it.key(), error);
        set.couriers[it.key().toStdString()] = courier;
    }
    return QString();
}

} // namespace

QString LoadParcelSet(const QByteArray& json, CParcelSet& out)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("not valid JSON (%1 at byte %2)")
            .arg(parseError.errorString())
            .arg(parseError.offset);
    if (!document.isObject())
        return QStringLiteral("the top level must be an object with \"couriers\" and \"parcels\"");

    CParcelSet set;
    const QString courierError
        = ReadCouriers(document.object().value(QLatin1String("couriers")), set);
    if (!courierError.isEmpty())
        return courierError;
    const QJsonValue parcels = document.object().value(QLatin1String("parcels"));
    if (!parcels.isArray() || parcels.toArray().isEmpty())
        return QStringLiteral("\"parcels\" must be an array with at least one parcel");
    const QJsonArray array = parcels.toArray();
    for (int i = 0; i < array.size(); ++i) {
        CParcel parcel;
        const QString error = ReadParcel(array.at(i), set, parcel);
        if (!error.isEmpty())
            return QStringLiteral("parcel %1: %2").arg(i + 1).arg(error);
        set.parcels[parcel.number] = parcel;
    }
    out = set;
    return QString();
}

QString LoadParcelFile(const QString& path, CParcelSet& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString());
    const QString error = LoadParcelSet(file.readAll(), out);
    return error.isEmpty() ? error : QStringLiteral("%1: %2").arg(path, error);
}

static void InitParcelResource() { Q_INIT_RESOURCE(parcels); }

CParcelSet BuiltInParcelSet()
{
    InitParcelResource();
    CParcelSet set;
    const QString error = LoadParcelFile(QStringLiteral(":/site/parcels.json"), set);
    if (!error.isEmpty())
        qFatal("built-in parcel set: %s", qPrintable(error));
    return set;
}
