// The HTTP fetch against verdal-catalogue-service on loopback: its course maps and version reply
// as plain bodies, its error pages, and its faults for empty bodies and bodies that stall or
// break off.
#include "update/http_fetch.h"

#include "catalogue_generator.h"
#include "platform/text.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <tuple>
#include <vector>

using namespace verdal;
using namespace verdal::test;

namespace {

// Ten courses of version 25: the second map has an empty body, the third breaks off halfway,
// the fourth stalls halfway, the fifth drips and the seventh is answered 503.
struct HttpFetch : ::testing::Test {
    CatalogueService service{
        10, "25", {"empty:map:2", "cut:map:3", "stall:map:4", "drip:map:5", "503:map:7"}};
    const std::string map = catalogue::CatalogueGenerator(10, {25}).CourseMap(1, 25);
    TempFolder temp;
    std::vector<char> buffer = std::vector<char>(7296, 'x');

    std::u16string Url(const std::string& path) const { return Utf8ToUtf16(service.Base() + path); }
    std::u16string File(const std::string& name) const { return Utf8ToUtf16(temp / name); }
    int ToMemory(const std::string& path, int capacity) {
        return FetchUrlToMemory(Url(path), buffer.data(), capacity);
    }
};

} // namespace

TEST_F(HttpFetch, CapacityIsFilledExactlyAndNeverExceeded) {
    // 7264 bytes: several 1024-byte chunks and a short last one.
    EXPECT_EQ(ToMemory("gof/1_25.gof", 7264), 7264);
    EXPECT_EQ(std::string(buffer.data(), 7264), map);
    EXPECT_EQ(ToMemory("gof/1_25.gof", 7263), 0);
    EXPECT_EQ(ToMemory("gof/1_25.gof", 7296), 7264);
    // One byte more than the capacity inside the first chunk.
    const std::string reply = "25," + service.Base() + "courses/cat25";
    const int size = static_cast<int>(reply.size());
    EXPECT_EQ(ToMemory("get_new_version.php", size), size);
    EXPECT_EQ(std::string(buffer.data(), reply.size()), reply);
    EXPECT_EQ(ToMemory("get_new_version.php", size - 1), 0);
    EXPECT_EQ(ToMemory("get_new_version.php", 0), 0);
    EXPECT_EQ(buffer[reply.size()], map[reply.size()]) << "nothing is written past the body";
}

TEST_F(HttpFetch, EmptyBodiesAreBodiesErrorPagesAreNoneAndAFileBeyondTheLimitFails) {
    EXPECT_EQ(ToMemory("gof/2_25.gof", 7296), 0);
    WriteFile(temp / "empty.out", "old content");
    EXPECT_EQ(FetchUrlToFile(Url("gof/2_25.gof"), File("empty.out")), 1);
    EXPECT_EQ(std::filesystem::file_size(temp / "empty.out"), 0u);

    // A 404 or 503 page is no body: nothing of it reaches the buffer or the file, and the
    // status is the problem. A 404 ends the update, a 503 is worth another try.
    WriteFile(temp / "page.out", "kept");
    for (const auto& [path, status, verdict] :
         {std::tuple{"missing.xml", 404, Verdict::End}, {"gof/7_25.gof", 503, Verdict::Retry}}) {
        SCOPED_TRACE(path);
        std::string problem;
        FetchAnswer answer;
        EXPECT_EQ(FetchUrlToMemory(Url(path), buffer.data(), 7296, {}, &problem, &answer), -1);
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0), 7296) << "an empty block";
        EXPECT_EQ(problem, "the server answered HTTP " + std::to_string(status));
        EXPECT_EQ(answer.verdict, verdict);
        EXPECT_EQ(FetchUrlToFile(Url(path), File("page.out"), {}, &problem), 0);
        EXPECT_EQ(ReadFile(temp / "page.out"), "kept");
    }

    SetFetchFileLimit(7264);
    EXPECT_EQ(FetchUrlToFile(Url("gof/1_25.gof"), File("map.out")), 1);
    EXPECT_EQ(ReadFile(temp / "map.out"), map);
    SetFetchFileLimit(7263);
    EXPECT_EQ(FetchUrlToFile(Url("gof/1_25.gof"), File("map.out")), 0);
    SetFetchFileLimit(96u << 20);
    EXPECT_LE(std::filesystem::file_size(temp / "map.out"), 7263u);
}

TEST_F(HttpFetch, RequestsThatCannotOpenFailWithoutTouchingTheFile) {
    WriteFile(temp / "kept.xml", "kept");
    const std::u16string unreachable = u"http://127.0.0.1:1/update.xml"; // nothing listens there
    const std::size_t descriptors = OpenDescriptors();

    EXPECT_EQ(FetchUrlToMemory(unreachable, buffer.data(), 64), -1);
    EXPECT_EQ(FetchUrlToFile(unreachable, File("kept.xml")), 0);
    EXPECT_EQ(ReadFile(temp / "kept.xml"), "kept");
    // Only web addresses are fetched: a catalogue entry cannot make us read a local file.
    EXPECT_EQ(FetchUrlToMemory(u"file:///etc/hostname", buffer.data(), 64), -1);
    EXPECT_EQ(FetchUrlToMemory(u"", buffer.data(), 64), -1);

    EXPECT_EQ(FetchUrlToFile(Url("gof/1_25.gof"), File("no-such-folder/a.gof")), 0);
    EXPECT_FALSE(std::filesystem::exists(temp / "no-such-folder/a.gof"));
    EXPECT_EQ(OpenDescriptors(), descriptors) << "every path closes what it opened";
}

TEST_F(HttpFetch, BodiesThatBreakOffStallOrDripEndTheFetchAndAreNoResult) {
    // Half of the 7264 bytes arrive, then the connection closes: no result.
    EXPECT_EQ(ToMemory("gof/3_25.gof", 7296), -1);
    EXPECT_EQ(FetchUrlToFile(Url("gof/3_25.gof"), File("map.gof")), 0);

    // Half arrive, then nothing more: the fetch gives up once the stall limit has passed. A
    // server that sends a byte a second is cut off as well, and named.
    SetFetchStallLimit(1000);
    EXPECT_EQ(ToMemory("gof/4_25.gof", 7296), -1);
    std::string problem;
    EXPECT_EQ(FetchUrlToFile(Url("gof/4_25.gof"), File("map.gof"), {}, &problem), 0);
    EXPECT_EQ(problem, "the server sent nothing for 1 s");
    SetFetchStallLimit(2000);
    FetchAnswer answer;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchUrlToFile(Url("gof/5_25.gof"), File("map.gof"), {}, &problem, nullptr, &answer),
              0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_EQ(problem, "the server sent fewer than 1000 bytes/s for 2 s");
    EXPECT_EQ(answer.verdict, Verdict::Retry);
    SetFetchStallLimit(30000);
}

TEST_F(HttpFetch, AFileTheServerSaysIsUnchangedIsNeitherSentNorTouched) {
    const std::u16string catalogue = Url("courses/cat25/cat25.xml");
    FileValidators first;
    ASSERT_EQ(FetchUrlToFile(catalogue, File("update.xml"), {}, nullptr, &first), 1);
    EXPECT_FALSE(first.unchanged);
    ASSERT_FALSE(first.etag.empty() || first.lastModified.empty());
    const std::string body = ReadFile(temp / "update.xml");
    // Either validator alone is enough.
    for (const FileValidators& asked : {first, FileValidators{"", first.lastModified, false}}) {
        FileValidators given = asked;
        EXPECT_EQ(FetchUrlToFile(catalogue, File("update.xml"), {}, nullptr, &given), 1);
        EXPECT_TRUE(given.unchanged);
        EXPECT_EQ(ReadFile(temp / "update.xml"), body);
    }
    EXPECT_EQ(service.Served()["not-modified"], 2);
    // Validators of another state of the file: the whole file comes, with its own validators.
    WriteFile(temp / "update.xml", "old");
    FileValidators stale{"\"other\"", "", false};
    EXPECT_EQ(FetchUrlToFile(catalogue, File("update.xml"), {}, nullptr, &stale), 1);
    EXPECT_FALSE(stale.unchanged);
    EXPECT_EQ(stale.etag, first.etag);
    EXPECT_EQ(ReadFile(temp / "update.xml"), body);
}

TEST_F(HttpFetch, AStopAbandonsTheFetchInFlight) {
    for (bool toFile : {false, true}) {
        std::stop_source stop;
        auto fetch = std::async(std::launch::async, [&] {
            return toFile ? FetchUrlToFile(Url("gof/4_25.gof"), File("map.gof"), stop.get_token())
                          : FetchUrlToMemory(Url("gof/4_25.gof"), buffer.data(), 7296,
                                             stop.get_token());
        });
        // The stall lasts 30 s: only the stop can end the fetch within the bound.
        EXPECT_EQ(fetch.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        stop.request_stop();
        ASSERT_EQ(fetch.wait_for(std::chrono::seconds(1)), std::future_status::ready);
        EXPECT_EQ(fetch.get(), toFile ? 0 : -1);
    }
}

TEST(UrlEncoding, AddressesAreEncodedOnlyWhereTheyMayNotStand) {
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
