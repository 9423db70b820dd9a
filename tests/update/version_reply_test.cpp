// Reading the version reply and making the catalogue file's address.
#include "update/version_reply.h"

#include <gtest/gtest.h>

#include <string>

using namespace verdal;

namespace {

VersionReply Parse(const std::string& reply) {
    return ParseVersionReply(reply.data(), reply.size());
}

} // namespace

TEST(VersionReply, FieldsWithBlanksAnywhere) {
    VersionReply reply = Parse("25,http://vendor.example/courses/cat25");
    EXPECT_EQ(reply.offeredVersion, 25u);
    EXPECT_EQ(reply.catalogueUrl, "http://vendor.example/courses/cat25/cat25.xml");

    reply = Parse(" 2 6 , http: //vendor.example/cour ses/cat26 ,extra, fields ");
    EXPECT_EQ(reply.offeredVersion, 26u);
    EXPECT_EQ(reply.catalogueUrl, "http://vendor.example/courses/cat26/cat26.xml");

    // Only the leading digits count; none give 0.
    EXPECT_EQ(Parse("27b,http://h/c").offeredVersion, 27u);
    EXPECT_EQ(Parse("v27,http://h/c").offeredVersion, 0u);
    EXPECT_EQ(Parse("99999999999,http://h/c").offeredVersion, 4294967295u);
    // Without a second field there is no address.
    EXPECT_EQ(Parse("25").catalogueUrl, "");
    // Only the given length is read.
    const std::string text = "25,http://h/a,junk";
    EXPECT_EQ(ParseVersionReply(text.data(), 13).catalogueUrl, "http://h/a/a.xml");
}

TEST(VersionReply, CatalogueAddressUsesTheLastSegment) {
    EXPECT_EQ(CatalogueAddress("http://h/courses/cat25"), "http://h/courses/cat25/cat25.xml");
    EXPECT_EQ(CatalogueAddress("http://h/courses/"), "http://h/courses//.xml");
    EXPECT_EQ(CatalogueAddress("cat25"), "cat25/cat25.xml");
    EXPECT_EQ(CatalogueAddress(""), "/.xml");
    // A segment longer than 31 characters is not cut.
    const std::string longSegment(40, 'z');
    EXPECT_EQ(CatalogueAddress("http://h/" + longSegment),
              "http://h/" + longSegment + "/" + longSegment + ".xml");
}

TEST(VersionReply, RequestCarriesTheSerialNumbersBytesAsOneQueryValue) {
    // What would end the value, begin another or mean something else travels escaped, as do
    // blanks, control bytes and bytes beyond ASCII; a unit beyond the code page is "?".
    EXPECT_EQ(VersionRequestUrl(u"http://127.0.0.1:8650/", u"SN 01&x#2+3?4=5%6\t\u00e9\u6c34-_.~/"),
              u"http://127.0.0.1:8650/get_new_version.php?sn="
              u"SN%2001%26x%232%2B3%3F4%3D5%256%09%E9%3F-_.~/");
}
