// The load -> save -> load -> save check shared by the fuzz target and the
// corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A private folder for the check's files (tmpfs when there is one, so saving
// does not wait for a disk); removed by the destructor.
class RoundTripFolder {
  public:
    RoundTripFolder();
    ~RoundTripFolder();
    RoundTripFolder(const RoundTripFolder&) = delete;
    RoundTripFolder& operator=(const RoundTripFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Parses the bytes as a settings file (directives dropped), saves in key
// order, loads the saved file, saves again and once more. The first two saves
// must be equal byte for byte unless the first holds a line too long to read
// back whole (escaping lengthens values); the last two must always be equal.
// On failure returns false and says why.
bool CheckSettingsRoundTrip(const std::uint8_t* data, std::size_t size,
                            const RoundTripFolder& folder, std::string* why);

// Loads the bytes as a settings file twice and removes sections below a few
// paths taken from the text (every backslash prefix of its first key, and the
// empty path): once with DeleteSection, once by literally removing the path's
// key, enumerating its direct children and recursing on each. Both stores must
// then save the same bytes, in write order and in key order.
bool CheckDeleteSectionMatchesLiteral(const std::uint8_t* data, std::size_t size,
                                      const RoundTripFolder& folder, std::string* why);
