// The property the IPS fuzz targets check, shared with the corpus replay in
// the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Arbitrary bytes as an IPS (or IPS32) patch against a fixed backup: the
// import must not crash, and when it succeeds, exporting its items gives a
// file that imports to the same items, and exporting those gives the same
// file again. False with *why when the property fails.
bool CheckIpsRoundTrip(bool ips32, const std::uint8_t* data, std::size_t size, std::string* why);
