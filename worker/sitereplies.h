#pragma once

#include <string>

// Reading the tracking site's replies, kept apart from the thread so each piece can be
// exercised without a network.

// What a courier-detection reply says.
struct CourierDetection {
    bool usable = false;   // a courier object was found (an array's first element, or key "0")
    std::string exname;    // the courier's name, empty when missing or not a string
};

// Reads a courier-detection reply up to its first zero byte.
CourierDetection ReadCourierDetection(const std::string& reply);

// The courier-info address for one number: base, template, the three placeholders filled.
std::string MakeCourierInfoAddress(const std::string& base, const std::string& number,
                                   const std::string& exname, const std::string& token);
