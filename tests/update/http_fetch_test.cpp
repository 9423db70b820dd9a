// The HTTP fetch against real servers on loopback: python3's http.server for plain files and
// error pages, verdal-catalogue-service for bodies that stall or break off.
#include "update/http_fetch.h"

#include "catalogue_generator.h"
#include "loopback_servers.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <vector>

using namespace verdal;
using namespace verdal::test;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

std::string Pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return text;
}

} // namespace

TEST(HttpFetch, CapacityIsFilledExactlyAndNeverExceeded) {
    StaticServer server;
    const std::string body = Pattern(7264); // several 1024-byte chunks and a short last one
    server.Put("map.gof", body);
    server.Put("small.txt", "hello");

    std::vector<char> buffer(7296, 'x');
    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(server.Url("map.gof")), buffer.data(), 7264), 7264);
    EXPECT_EQ(std::string(buffer.data(), 7264), body);
    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(server.Url("map.gof")), buffer.data(), 7263), 0);
    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(server.Url("map.gof")), buffer.data(), 7296), 7264);
    // One byte more than the capacity inside the first chunk.
    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(server.Url("small.txt")), buffer.data(), 5), 5);
    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(server.Url("small.txt")), buffer.data(), 4), 0);
    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(server.Url("small.txt")), buffer.data(), 0), 0);
    EXPECT_EQ(buffer[5], body[5]) << "nothing is written past the body";
}

TEST(HttpFetch, EmptyBodyAndErrorPagesAreBodies) {
    StaticServer server;
    server.Put("empty", "");
    TempFolder temp;
    char buffer[4096];

    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(server.Url("empty")), buffer, sizeof buffer), 0);
    const auto emptyFile = temp.Path() / "empty.out";
    std::ofstream(emptyFile) << "old content";
    EXPECT_EQ(FetchUrlToFile(Utf8ToUtf16(server.Url("empty")), Utf8ToUtf16(emptyFile.string())), 1);
    EXPECT_TRUE(std::filesystem::exists(emptyFile));
    EXPECT_EQ(std::filesystem::file_size(emptyFile), 0u);

    // A 404 page is fetched like any other body; callers judge it by its content.
    const int n = FetchUrlToMemory(Utf8ToUtf16(server.Url("missing.xml")), buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    EXPECT_NE(std::string(buffer, n).find("404"), std::string::npos);
    const auto pageFile = temp.Path() / "page.out";
    EXPECT_EQ(
        FetchUrlToFile(Utf8ToUtf16(server.Url("missing.xml")), Utf8ToUtf16(pageFile.string())), 1);
    EXPECT_EQ(ReadFile(pageFile), std::string(buffer, n));

    const std::string body = Pattern(30000);
    server.Put("big.bin", body);
    const auto bigFile = temp.Path() / "big.out";
    EXPECT_EQ(FetchUrlToFile(Utf8ToUtf16(server.Url("big.bin")), Utf8ToUtf16(bigFile.string())), 1);
    EXPECT_EQ(ReadFile(bigFile), body);
}

TEST(HttpFetch, AFileBodyBeyondTheLimitFailsTheFetch) {
    StaticServer server;
    TempFolder temp;
    const std::string body = Pattern(30000);
    server.Put("big.bin", body);
    const auto file = Utf8ToUtf16((temp.Path() / "big.out").string());
    SetFetchFileLimit(30000);
    EXPECT_EQ(FetchUrlToFile(Utf8ToUtf16(server.Url("big.bin")), file), 1);
    SetFetchFileLimit(29999);
    EXPECT_EQ(FetchUrlToFile(Utf8ToUtf16(server.Url("big.bin")), file), 0);
    SetFetchFileLimit(256u << 20);
    EXPECT_LE(std::filesystem::file_size(temp.Path() / "big.out"), 29999u);
}

TEST(HttpFetch, RequestsThatCannotOpenFailWithoutTouchingTheFile) {
    TempFolder temp;
    const auto target = temp.Path() / "kept.xml";
    std::ofstream(target) << "kept";
    const std::string unreachable =
        "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/update.xml";
    char buffer[64];
    StaticServer server;
    server.Put("a.txt", "body");
    const std::size_t descriptors = OpenDescriptors();

    EXPECT_EQ(FetchUrlToMemory(Utf8ToUtf16(unreachable), buffer, sizeof buffer), -1);
    EXPECT_EQ(FetchUrlToFile(Utf8ToUtf16(unreachable), Utf8ToUtf16(target.string())), 0);
    EXPECT_EQ(ReadFile(target), "kept");
    // Only web addresses are fetched: a catalogue entry cannot make us read a local file.
    EXPECT_EQ(FetchUrlToMemory(u"file:///etc/hostname", buffer, sizeof buffer), -1);
    EXPECT_EQ(FetchUrlToMemory(u"", buffer, sizeof buffer), -1);

    const auto uncreatable = temp.Path() / "no-such-folder" / "a.txt";
    EXPECT_EQ(FetchUrlToFile(Utf8ToUtf16(server.Url("a.txt")), Utf8ToUtf16(uncreatable.string())),
              0);
    EXPECT_FALSE(std::filesystem::exists(uncreatable));
    EXPECT_EQ(OpenDescriptors(), descriptors) << "every path closes what it opened";
}

TEST(HttpFetch, BodiesThatBreakOffOrStallEndTheFetch) {
    CatalogueService service(10, "25", {"cut:map:1", "stall:map:2"});
    TempFolder temp;
    std::vector<char> buffer(7296);
    const auto map1 = Utf8ToUtf16(service.Base() + "gof/1_25.gof");
    const auto map2 = Utf8ToUtf16(service.Base() + "gof/2_25.gof");
    const auto file = Utf8ToUtf16((temp.Path() / "map.gof").string());

    // Half of the 7264 bytes arrive, then the connection closes: what came is answered.
    EXPECT_EQ(FetchUrlToMemory(map1, buffer.data(), 7296), 3632);
    EXPECT_EQ(FetchUrlToFile(map1, file), 0);

    // Half arrive, then nothing more: the fetch gives up once the stall limit has passed.
    SetFetchStallLimit(1000);
    EXPECT_EQ(FetchUrlToMemory(map2, buffer.data(), 7296), 3632);
    EXPECT_EQ(FetchUrlToFile(map2, file), 0);
    SetFetchStallLimit(30000);
}

TEST(HttpFetch, AddressesAreEncodedOnlyWhereTheyMayNotStand) {
    EXPECT_EQ(EncodeUrl("http://h:1/maps/with blank-1.gof"), "http://h:1/maps/with%20blank-1.gof");
    EXPECT_EQ(EncodeUrl("http://h/a\"b<c>d\\e\x01\x7f"), "http://h/a%22b%3Cc%3Ed%5Ce%01%7F");
    // UTF-8 bytes are escaped one by one; existing escapes and reserved characters stay.
    EXPECT_EQ(EncodeUrl("http://h/K\xC3\xB6ln%20x?sn=a b&v=1#top"),
              "http://h/K%C3%B6ln%20x?sn=a%20b&v=1#top");
    // A '%' that begins no escape is escaped itself.
    EXPECT_EQ(EncodeUrl("http://h/100%/%4"), "http://h/100%25/%254");
    const std::string wellFormed = "https://user@h.example:8080/p/a;b,c?x=1&y=[2]+~!$'()*";
    EXPECT_EQ(EncodeUrl(wellFormed), wellFormed);
}

TEST(HttpFetch, AMapWhoseAddressHoldsABlankIsFetched) {
    CatalogueService service(10, "25,26");
    const catalogue::CatalogueGenerator generator(10, {25, 26});
    std::vector<char> buffer(7296);
    ASSERT_EQ(FetchUrlToMemory(Utf8ToUtf16(service.Base() + "maps/with blank-3.gof"), buffer.data(),
                               7296),
              7264);
    EXPECT_EQ(std::string(buffer.data(), 7264), generator.CourseMap(3, 26));
}

TEST(HttpFetch, AStopAbandonsTheFetchInFlight) {
    CatalogueService service(10, "25", {"stall:map:1"});
    TempFolder temp;
    std::vector<char> buffer(7296);
    const auto map = Utf8ToUtf16(service.Base() + "gof/1_25.gof");
    const auto file = Utf8ToUtf16((temp.Path() / "map.gof").string());
    for (bool toFile : {false, true}) {
        std::stop_source stop;
        auto fetch = std::async(std::launch::async, [&] {
            return toFile ? FetchUrlToFile(map, file, stop.get_token())
                          : FetchUrlToMemory(map, buffer.data(), 7296, stop.get_token());
        });
        // The stall lasts 30 s: only the stop can end the fetch within the bound.
        EXPECT_EQ(fetch.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        stop.request_stop();
        ASSERT_EQ(fetch.wait_for(std::chrono::seconds(1)), std::future_status::ready);
        EXPECT_EQ(fetch.get(), toFile ? 0 : -1);
    }
}
