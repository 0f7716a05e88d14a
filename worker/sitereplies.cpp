#include "worker/sitereplies.h"

#include "util/stringutil.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

CourierDetection ReadCourierDetection(const std::string& reply)
{
    CourierDetection detection;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(reply.c_str()), &error);
    if (error.error != QJsonParseError::NoError)
        return detection;
    detection.json = true;

    QJsonObject courier;
    const QJsonArray array = document.array();
    if (!array.isEmpty()) {
        courier = array.at(0).toObject();
    } else {
        const QJsonObject object = document.object();
        if (!object.contains(QLatin1String("0")))
            return detection;
        courier = object.value(QLatin1String("0")).toObject();
    }
    detection.usable = true;
    detection.exname = courier.value(QLatin1String("exname")).toString().toStdString();
    return detection;
}

CourierInfo ReadCourierInfo(const std::string& reply)
{
    CourierInfo info;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(reply.c_str()), &error);
    info.json = error.error == QJsonParseError::NoError && document.isObject();
    info.hasEvents = !document.object().value(QLatin1String("data")).toArray().isEmpty();
    return info;
}

std::string MakeCourierInfoAddress(const std::string& base, const std::string& number,
                                   const std::string& exname, const std::string& token)
{
    std::string address = base + "index-ajaxselectcourierinfo-{0}-{1}-OXCAO{2}.html";
    ReplaceAll(address, "{0}", number);
    ReplaceAll(address, "{1}", exname);
    ReplaceAll(address, "{2}", token);
    return address;
}
