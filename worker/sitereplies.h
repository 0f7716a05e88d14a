#pragma once

#include <string>

// Reading the tracking site's replies, kept apart from the thread so each piece can be
// exercised without a network.

// What a courier-detection reply says.
struct CourierDetection {
    bool json = false;     // the reply is a JSON document at all
    bool usable = false;   // a courier object was found (an array's first element, or key "0")
    std::string exname;    // the courier's name, empty when missing or not a string
};

// Reads a courier-detection reply up to its first zero byte.
CourierDetection ReadCourierDetection(const std::string& reply);

// What a courier-info reply says, read as the window reads it for a row.
struct CourierInfo {
    bool json = false;      // the reply is a JSON object
    bool hasEvents = false; // its "data" lists at least one tracking event
};

// Reads a courier-info reply up to its first zero byte.
CourierInfo ReadCourierInfo(const std::string& reply);

// The courier-info address for one number: base, template, the three placeholders filled.
std::string MakeCourierInfoAddress(const std::string& base, const std::string& number,
                                   const std::string& exname, const std::string& token);
