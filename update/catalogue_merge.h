// The catalogue file (update.xml in the data folder) and its merge into the course table. The
// file's layout is in catalogue_file.h.
#pragma once

#include "platform/window.h"
#include "update/http_fetch.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace verdal {

// Downloads the catalogue file at the address into update.xml in the data folder: the body goes
// to update.xml.part beside it, which replaces update.xml only when the answer was a whole 200
// and the file parses as a catalogue, so update.xml is only ever a whole catalogue (or missing).
// Up to 10 attempts, 500 ms apart, or as long as a busy server's Retry-After asks (at most two
// minutes); an answer that ends the update (a 404, a file that is no catalogue, a full disk: see
// http_answer.h) ends them at once. Answers 1 at the first attempt that gave a catalogue, else 0.
// A stop requested through stop abandons the attempt in flight and makes no further one: 0.
// Worker threads only.
// problem, when given, says what the last attempt said (see FetchUrlToFile, and "the catalogue
// file cannot be read: …").
// validators, when given, make each attempt conditional (see FileValidators): an answer that the
// file is unchanged leaves update.xml as it is. Once an attempt has failed, the later attempts
// ask for the whole file.
int DownloadCatalogue(std::u16string_view catalogueUrl, std::stop_token stop = {},
                      std::string* problem = nullptr, FileValidators* validators = nullptr);

// Why the file at path is no catalogue the merge can read ("the catalogue file cannot be read:
// XML_ERROR_EMPTY_DOCUMENT"); empty when it is one. Any thread.
std::string CatalogueFileProblem(const std::string& path);
// Why the file at path would take too much memory to parse (more than 448 MiB, reckoned from its
// bytes, elements and attributes before parsing it): "the catalogue file would take 2048 MiB to
// read, more than 448 MiB"; empty when it would not. A catalogue of 250,000 courses (92 MiB)
// passes. Any thread.
std::string CatalogueFileTooLarge(const std::string& path);

// How far an earlier run of the same merge got, and how this one records its own progress.
struct MergeProgress {
    // The merge's first courses (in its order, see NewerCatalogueEntries) that golf.db already
    // holds at their newest: they are neither fetched nor stored again, as long as golf.db has a
    // row for each of them (else the merge starts from the first course).
    std::uint32_t stored = 0;
    // Called on the merge's thread with the number of the merge's courses stored so far: after
    // every course with durable false (to be noted at little cost), and with durable true after
    // every kRecordEvery courses and when the merge ends before its last course (to be made
    // durable, then recorded). May throw as a statement does.
    std::function<void(std::uint32_t stored, bool durable)> record;
};
inline constexpr std::uint32_t kRecordEvery = 256;

// Merges every version of update.xml whose number is above localVersion (compared unsigned) into
// the course table, in document order, course by course: the entry's course map (exactly 7264
// bytes, fetched from its "url") and its texts are stored at once, inserted when no row has its
// uid, else updating every row with it. An entry without a non-zero "uid" or lacking one of the
// other attributes is skipped. A course listed by several versions is fetched and stored once,
// at its newest, where it was first listed (see NewerCatalogueEntries): the table ends as a merge
// of every listing in turn leaves it. The maps of up to 256 following courses are fetched
// meanwhile, over at most 8 connections to one server, but each course is judged and stored in
// document order. A map whose fetch fails for a passing reason (a broken connection, a stall, the
// server busy: see TransferSet) is tried again up to 10 times.
//
// For every course stored it posts the status CourseStored to mainWindow with the course's name
// (quotes doubled, as the record holds it) owned by the message, and the progress message to
// progressWindow with the share of the courses stored so far (0 to 100, rounded down), those of
// an earlier run included: a merge that goes on from one posts that share first.
// progress, when given, says where an earlier run stopped and records this one's (see above).
//
// Answers true when the whole file was merged (also when nothing was newer), false when the file
// cannot be read or has no root element, a version has no "number", a course map is not exactly
// 7264 bytes, the database failed, or a stop was requested; courses stored before a stop stay
// stored, and nothing after the entry where it stopped is written. A stop requested through stop
// lets the course being stored finish, abandons the fetches in flight at once and answers false.
// Worker threads only: it blocks on the network.
// problem, when given, says why it answered false ("the catalogue file cannot be read: …", "the
// course map of "…" holds 7263 bytes, not 7264", "the disk is full (golf.db)"); empty after a
// stop or a whole merge.
bool MergeCatalogue(HWND mainWindow, HWND progressWindow, std::uint32_t localVersion,
                    std::stop_token stop = {}, std::string* problem = nullptr,
                    const MergeProgress* progress = nullptr);

} // namespace verdal
