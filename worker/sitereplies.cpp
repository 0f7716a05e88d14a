#include "worker/sitereplies.h"

#include "util/stringutil.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <map>
#include <vector>

std::string BuildCookieHeader(const std::string& cookieList)
{
    // Lines are cut at LF and drop their CR by hand: a cookie with an empty value ends its
    // line in a tab, which the CR shields from trimming, so the line keeps all seven fields.
    std::vector<std::string> lines;
    SplitString(lines, cookieList, "\n", false);

    std::map<std::string, std::string> cookies; // byte-wise order of names
    std::vector<std::string> fields;
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        SplitString(fields, line, "\t", false);
        if (fields.size() == 7)
            cookies[fields[5]] = fields[6];
    }

    std::string header = "Cookie: ";
    for (const auto& [name, value] : cookies)
        header += name + "=" + value + ";";
    return header;
}

CourierDetection ReadCourierDetection(const std::string& reply)
{
    CourierDetection detection;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(reply.c_str()), &error);
    if (error.error != QJsonParseError::NoError)
        return detection;

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

std::string MakeCourierInfoAddress(const std::string& base, const std::string& number,
                                   const std::string& exname, const std::string& token)
{
    std::string address = base + "index-ajaxselectcourierinfo-{0}-{1}-OXCAO{2}.html";
    ReplaceAll(address, "{0}", number);
    ReplaceAll(address, "{1}", exname);
    ReplaceAll(address, "{2}", token);
    return address;
}
