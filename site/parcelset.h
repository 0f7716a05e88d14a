#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <string>
#include <vector>

// The parcels the stand-in site knows, read from the JSON form that parcels.json shows:
// {"couriers": {"<exname>": {"name": ..., "tel": ...}, ...},
//  "parcels": [{"nu": ..., "exname": ..., "state": ..., "events": [{"time": ..., "context": ...,
//  "location": ...}, ...]}, ...]}

struct CCourier {
    QString name;
    QString tel;
};

struct CTrackEvent {
    QString time; // "yyyy-MM-dd HH:mm:ss", which sorts like the moment it names
    QString context;
    QString location;
};

struct CParcel {
    std::string number;
    std::string exname;
    QString state; // "0" in transit, "1" picked up, "5" out for delivery, "3" signed for
    std::vector<CTrackEvent> events; // newest first
};

struct CParcelSet {
    std::map<std::string, CCourier> couriers; // by exname
    std::map<std::string, CParcel> parcels; // by number
};

// Reads a parcel set; returns an empty text on success, otherwise what is wrong (out is then
// left as it was).
QString LoadParcelSet(const QByteArray& json, CParcelSet& out);

// Same for a file; the error text names the file.
QString LoadParcelFile(const QString& path, CParcelSet& out);

// The demo set compiled in from parcels.json.
CParcelSet BuiltInParcelSet();
