// verdal-cli's update against Debian's nginx serving the catalogue as static files: its own
// keep-alive limit, gzip, rate limit and 404 pages, which the project's own service only
// imitates. Skipped where nginx is not installed.
#include "catalogue_generator.h"
#include "nginx_site.h"
#include "platform/text.h"
#include "tests/support/programs.h"
#include "tests/support/temp_folder.h"
#include "update/http_fetch.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace verdal;
using namespace verdal::test;
using verdal::catalogue::NginxOptions;
using verdal::catalogue::NginxSite;

namespace {

constexpr const char* kTable = "select objid,fileid,name,alias,country,city,address,telephone,"
                               "email,hole,gof from GOLF order by objid, rowid;";

class NginxTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (NginxSite::Program().empty())
            GTEST_SKIP() << "nginx is not installed";
    }

    // The table a clean update of the catalogue leaves, from the project's own service.
    std::string Reference(int courses) {
        CatalogueService service(courses, "25,26,27");
        TempFolder data;
        EXPECT_EQ(RunBuilt("verdal-cli",
                           {"--data-dir", data.Path(), "--server", service.Base(), "update"})
                      .exitCode,
                  0);
        return Sqlite3(data / "golf.db", kTable);
    }

    // Runs verdal-cli's update against nginx serving courses with the options.
    ProgramRun Update(const TempFolder& data, NginxSite& site) {
        std::string error;
        EXPECT_TRUE(site.Start(error)) << error;
        return RunBuilt("verdal-cli",
                        {"--data-dir", data.Path(), "--server", site.Base(), "update"});
    }

    const catalogue::CatalogueGenerator generator{300, {25, 26, 27}};
};

} // namespace

// nginx plain, with a short keep-alive and with gzip gives the table a clean update makes; a
// course map that is not there ends the update with nginx's 404, the courses before it stored.
TEST_F(NginxTest, PlainShortKeepAliveAndGzipAnswersGiveTheExactTableAndA404EndsTheUpdate) {
    const std::string expected = Reference(300);
    struct Case {
        const char* name;
        NginxOptions options;
    };
    for (const Case& run :
         {Case{"plain", {}}, Case{"keepalive_requests 7", {7}}, Case{"gzip", {1000, true}}}) {
        SCOPED_TRACE(run.name);
        TempFolder site, data;
        NginxSite nginx(site.Path(), generator, run.options);
        EXPECT_EQ(Update(data, nginx).exitCode, 0);
        EXPECT_EQ(Sqlite3(data / "golf.db", kTable), expected);
        // update.xml on the disk is the plain file; on the wire it came compressed.
        const auto plain = std::filesystem::file_size(data / "update.xml");
        EXPECT_EQ(plain, std::filesystem::file_size(site / "root/courses/cat27/cat27.xml"));
        WaitUntil([&] { return nginx.Requests("/courses/") == 1; });
        const std::uint64_t sent = nginx.BytesSent("/courses/");
        if (run.options.gzip)
            EXPECT_LT(sent * 3, plain) << sent << " bytes on the wire";
        else
            EXPECT_EQ(sent, plain);
    }

    TempFolder site, data;
    NginxSite nginx(site.Path(), generator, {1000, false, 0, {5}});
    EXPECT_EQ(Update(data, nginx).exitCode, 1);
    EXPECT_EQ(Sqlite3(data / "golf.db", "select group_concat(objid) from (select objid from GOLF "
                                        "order by objid);"),
              "1,2,3,4\n");
    EXPECT_TRUE(WaitUntil([&] { return nginx.Requests("/gof/5_", 404) == 1; }));
}

// nginx makes the ETag of a compressed answer weak (W/"…"); asked with it, it answers that the
// file is unchanged.
TEST_F(NginxTest, AWeakETagAsksForTheCompressedFileConditionally) {
    TempFolder site, data;
    NginxSite nginx(site.Path(), generator, {1000, true});
    std::string error;
    ASSERT_TRUE(nginx.Start(error)) << error;
    const std::u16string url = Utf8ToUtf16(nginx.Base() + "courses/cat27/cat27.xml");
    FileValidators validators;
    ASSERT_EQ(FetchUrlToFile(url, Utf8ToUtf16(data / "update.xml"), {}, nullptr, &validators), 1);
    EXPECT_TRUE(validators.etag.starts_with("W/\"")) << validators.etag;
    validators.lastModified.clear();
    EXPECT_EQ(FetchUrlToFile(url, Utf8ToUtf16(data / "update.xml"), {}, nullptr, &validators), 1);
    EXPECT_TRUE(validators.unchanged);
    // nginx logs an answer once it has sent it.
    EXPECT_TRUE(WaitUntil([&] { return nginx.Requests("/courses/", 304) == 1; }));
}

// A rate limit well below what eight connections ask for: nginx turns most requests away with
// its 503 page and no Retry-After, yet the update waits it out and stores every course.
TEST_F(NginxTest, ARateLimitWellBelowWhatEightConnectionsAskIsWaitedOut) {
    const std::string expected = Reference(300);
    TempFolder site, data;
    NginxSite nginx(site.Path(), generator, {1000, false, 100});
    const ProgramRun run = Update(data, nginx);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Sqlite3(data / "golf.db", kTable), expected);
    EXPECT_TRUE(WaitUntil([&] { return nginx.Requests("/gof/", 200) == 300; }));
    EXPECT_GT(nginx.Requests("/gof/", 503), 0) << "the limit was met";
}
