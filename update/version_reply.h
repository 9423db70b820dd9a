// The web service's version request and its reply: which catalogue version is current and
// where its file lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace verdal {

// The address of the version request: the service's base address followed by
// "get_new_version.php?sn=" and the serial number in the ANSI code page (a unit above 0xFF is
// "?"), every byte up to the blank, above 0x7E, or one of & # + ? = % as %XX, so that the
// service reads back the bytes the device sent.
std::u16string VersionRequestUrl(std::u16string_view base, std::u16string_view serialNumber);

// What the version reply says.
struct VersionReply {
    std::uint32_t offeredVersion = 0; // field 1: leading decimal digits; none gives 0
    std::string catalogueUrl;         // the catalogue file address made from field 2 (UTF-8)
};

// Reads the reply's first length bytes: comma-separated fields, every blank dropped wherever
// it stands. Field 1 is the offered version, field 2 the catalogue directory address, which
// CatalogueAddress turns into the catalogue file's address; further fields are not used.
// A reply without a second field gives an empty address. Any thread.
VersionReply ParseVersionReply(const char* reply, std::size_t length);

// The catalogue file's address in a catalogue directory: the directory address, "/", its last
// path segment (the text after its last '/', or all of it when there is none) and ".xml".
// "http://host/courses/cat25" gives "http://host/courses/cat25/cat25.xml". A segment of any
// length is used whole.
std::string CatalogueAddress(std::string_view directory);

} // namespace verdal
