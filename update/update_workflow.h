// The catalogue update with the web service, in two steps on two worker threads:
// ServerCheck (the last step of connecting a device) asks which catalogue version is current
// and where its file lies; RunCatalogueUpdate (the body of "Course Update") downloads and merges
// it when it is newer than the one merged so far. Both report only by posting the status
// message to the main window and the progress message to the progress dialog's page window.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>

namespace verdal {

// What the web service offered: the catalogue version and the address of its file.
struct OfferedCatalogue {
    std::uint32_t offeredVersion = 0; // 0 until a server check succeeds
    std::u16string catalogueUrl;
};

// The catalogue the web service offered at the last successful server check. The main window
// owns one; the connect worker writes it and the update worker's starter reads it, each in one
// piece under its lock, so a version is never paired with another check's address.
class CatalogueOffer {
public:
    void Set(std::uint32_t offeredVersion, std::u16string catalogueUrl);
    OfferedCatalogue Get() const;

private:
    mutable std::mutex mutex_;
    std::uint32_t offeredVersion_ = 0; // 0 until a server check succeeds
    std::u16string catalogueUrl_;
};

// The web service's base address for this process: the settings value "server" unless
// SetServerOverride named another. Any thread.
std::u16string ServerBase();
// Uses the given base address instead of the settings value for the rest of the run (--server);
// an empty address ends the override. It is never saved.
void SetServerOverride(std::string base);

// Posts ConnectingServer, then asks the web service for the current version with the stored
// serial number: up to 10 attempts, 500 ms apart (also after the last), or as long as a busy
// server's Retry-After asks (at most two minutes), each reading at most capacity bytes into
// reply and given up after 5 s. Only a whole 200 answer is a reply (see http_answer.h); an
// answer that never will be one (a 404) ends the attempts at once. Answers the bytes received,
// 0 when every attempt failed or a stop was requested through stop (which abandons the request
// in flight and ends the pauses). problem, when given, says what the last attempt met ("the
// server answered HTTP 503"). Worker threads only.
int CheckServerVersion(HWND mainWindow, char* reply, std::uint32_t capacity,
                       std::stop_token stop = {}, std::string* problem = nullptr);

// The last step of connecting a device: the version request; when it failed or its reply holds
// no "http://", posts ServerNotConnected with why and changes nothing. Otherwise stores the offered
// version and the catalogue file address in offer, saves the settings (keeping the serial
// number read while connecting) and posts Connected. Once a stop is requested through stop it
// changes nothing and posts nothing more. Worker threads only.
void ServerCheck(HWND mainWindow, CatalogueOffer& offer, std::stop_token stop = {});

// The worker of "Course Update", run on its own thread under the progress dialog whose page
// window is progressWindow, with the offer as it stood when the update began. Posts progress 0;
// when the offered version is newer than the settings' updateVersion (unsigned), downloads the
// catalogue and merges it, then on success stores the offered version as updateVersion and saves
// the settings. Posts UpdateCompleted (also when nothing was newer: then nothing is fetched) or
// UpdateError to mainWindow, the latter carrying why (the disk is full, the server's answer, a
// course map of the wrong size, the catalogue file unreadable: see MergeCatalogue; nothing when
// it was stopped: "stopped"), then ends the dialog (the parent of progressWindow) with 1. A stop
// requested through stop ends the download or the merge early (see there) with UpdateError; the
// local version then stays as it was, and the journal with what was stored.
void RunCatalogueUpdate(HWND mainWindow, OfferedCatalogue offer, HWND progressWindow,
                        std::stop_token stop = {});

} // namespace verdal
