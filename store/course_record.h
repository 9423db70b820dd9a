// One catalogue course as it travels between the course table, the catalogue merge, the lists
// and the device transfer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace verdal {

// Size of a course's GOF block: the course map as sent to the device.
inline constexpr std::size_t kGofBlockSize = 7296;
// Size of the course map file fetched from the web service; it fills the start of the block.
inline constexpr std::size_t kCourseMapSize = 7264;

using GofBlock = std::array<std::uint8_t, kGofBlockSize>;

// Answers the text with every single quote written twice, ready to stand between quotes in a
// statement. Texts of any length are doubled whole.
std::string DoubleQuotes(std::string_view text);

// Answers a text held with its quotes doubled as it was written: each pair of single quotes
// becomes one. What the user is shown of a course goes through this; what goes into a statement
// never does.
std::string ShownText(std::string_view held);
std::u16string ShownText(std::u16string_view held);

// A catalogue course without its course map: what a catalogue row shows and the course
// information dialog reads. Its texts are UTF-8 as the catalogue has them. The eight texts from
// name to hole are always held with single quotes doubled, however they were filled: their
// setters double them. fileid and objid are held unchanged.
struct CourseTexts {
    std::int32_t objid = 0;
    std::string fileid;
    std::string name;
    std::string alias;
    std::string country;
    std::string city;
    std::string address;
    std::string telephone;
    std::string email;
    std::string hole;

    void SetFileId(std::string_view value) { fileid = value; }
    void SetName(std::string_view value) { name = DoubleQuotes(value); }
    void SetAlias(std::string_view value) { alias = DoubleQuotes(value); }
    void SetCountry(std::string_view value) { country = DoubleQuotes(value); }
    void SetCity(std::string_view value) { city = DoubleQuotes(value); }
    void SetAddress(std::string_view value) { address = DoubleQuotes(value); }
    void SetTelephone(std::string_view value) { telephone = DoubleQuotes(value); }
    void SetEmail(std::string_view value) { email = DoubleQuotes(value); }
    void SetHole(std::string_view value) { hole = DoubleQuotes(value); }
};

// A catalogue course with its GOF block, as the merge stores it and the upload sends it.
struct CourseRecord : CourseTexts {
    GofBlock gof{}; // bytes 0 to 7263 hold the fetched course map when filled from the catalogue
};

} // namespace verdal
