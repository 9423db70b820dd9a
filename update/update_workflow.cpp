// The version request to the web service and the catalogue update worker.
#include "update/update_workflow.h"

#include "platform/data_dir.h"
#include "platform/event.h"
#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_table.h"
#include "store/settings.h"
#include "update/catalogue_merge.h"
#include "update/http_fetch.h"
#include "update/update_journal.h"
#include "update/version_reply.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace verdal {
namespace {

constexpr int kVersionAttempts = 10;
constexpr std::uint32_t kRetryPauseMs = 500;
constexpr std::uint32_t kReplyCapacity = 1024;

std::mutex overrideMutex;
std::string serverOverride;

} // namespace

void CatalogueOffer::Set(std::uint32_t offeredVersion, std::u16string catalogueUrl) {
    std::lock_guard lock(mutex_);
    offeredVersion_ = offeredVersion;
    catalogueUrl_ = std::move(catalogueUrl);
}

OfferedCatalogue CatalogueOffer::Get() const {
    std::lock_guard lock(mutex_);
    return {offeredVersion_, catalogueUrl_};
}

std::u16string ServerBase() {
    {
        std::lock_guard lock(overrideMutex);
        if (!serverOverride.empty())
            return Utf8ToUtf16(serverOverride);
    }
    return Utf8ToUtf16(CopySettings().server);
}

void SetServerOverride(std::string base) {
    std::lock_guard lock(overrideMutex);
    serverOverride = std::move(base);
}

int CheckServerVersion(HWND mainWindow, char* reply, std::uint32_t capacity, std::stop_token stop,
                       std::string* problem) {
    PostStatus(mainWindow, StatusCode::ConnectingServer);
    for (int attempt = 0; attempt < kVersionAttempts && !stop.stop_requested(); ++attempt) {
        const std::u16string url = VersionRequestUrl(ServerBase(), CopySettings().serialNumber);
        std::string said;
        FetchAnswer answer;
        const int received = FetchUrlToMemory(url, reply, capacity, stop, &said, &answer);
        if (problem)
            *problem = said;
        if (received > 0 && !stop.stop_requested())
            return received;
        if (received == 0 && answer.verdict == Verdict::Result && problem)
            *problem = Tr("the server's reply is empty");
        // An answer that is no reply and never will be (a 404, a reply too long) ends the tries.
        if (answer.verdict == Verdict::End)
            break;
        const std::uint32_t pause = answer.retryAfterMs > 0 ? answer.retryAfterMs : kRetryPauseMs;
        if (!Sleep(pause, stop))
            break;
    }
    return 0;
}

void ServerCheck(HWND mainWindow, CatalogueOffer& offer, std::stop_token stop) {
    // One byte beyond the capacity stays zero, so the reply is always a terminated text.
    char reply[kReplyCapacity + 1] = {};
    std::string problem;
    const int received = CheckServerVersion(mainWindow, reply, kReplyCapacity, stop, &problem);
    if (stop.stop_requested())
        return;
    if (received > 0 && !std::strstr(reply, "http://"))
        problem = Tr("the server's reply names no catalogue");
    if (received <= 0 || !std::strstr(reply, "http://")) {
        PostStatus(mainWindow, StatusCode::ServerNotConnected, problem);
        return;
    }
    const VersionReply parsed = ParseVersionReply(reply, static_cast<std::size_t>(received));
    offer.Set(parsed.offeredVersion, Utf8ToUtf16(parsed.catalogueUrl));
    SaveSettings();
    PostStatus(mainWindow, StatusCode::Connected);
}

namespace {

// Downloads the catalogue and merges it, going on where an earlier run of the same update
// stopped (see update_journal.h); true when the whole catalogue is merged. problem says why not.
bool DownloadAndMerge(HWND mainWindow, const OfferedCatalogue& offer, std::uint32_t local,
                      HWND progressWindow, std::stop_token stop, std::string& problem) {
    const std::string catalogueFile = ProgramFilePath("update.xml");
    UpdateJournal journal{Utf16ToUtf8(offer.catalogueUrl), local, offer.offeredVersion};
    std::optional<UpdateJournal> earlier = ReadUpdateJournal();
    if (earlier && !earlier->SameUpdate(journal))
        earlier.reset();
    // The catalogue file is asked for only when it has changed since the earlier run took it,
    // and only while it is still a catalogue: a journal of a file that is not one is dropped,
    // and the file fetched afresh.
    FileValidators validators;
    if (earlier && FingerprintOf(catalogueFile) == earlier->file) {
        if (CatalogueFileProblem(catalogueFile).empty()) {
            validators = earlier->validators;
        } else {
            RemoveUpdateJournal();
            earlier.reset();
        }
    }
    std::string downloaded;
    if (DownloadCatalogue(offer.catalogueUrl, stop, &downloaded, &validators) != 1) {
        problem = downloaded;
        return false;
    }
    if (validators.unchanged) {
        // update.xml is the file the earlier run fingerprinted, read just above.
        journal.file = earlier->file;
        journal.validators = earlier->validators;
    } else {
        journal.file = FingerprintOf(catalogueFile).value_or(FileFingerprint{});
        journal.validators = validators;
    }
    if (earlier && earlier->file == journal.file)
        journal.stored = earlier->stored;
    JournalKeeper keeper;
    auto write = [&] {
        if (const FileFailure failure = keeper.Write(journal))
            std::fputs(Format(Tr("verdal: update.journal: %s\n"), failure.Text().c_str()).c_str(),
                       stderr);
    };
    // The count read may rest on rows an earlier process left unflushed.
    MakeCoursesDurable();
    write();
    const MergeProgress progress{journal.stored, [&](std::uint32_t stored, bool durable) {
                                     if (!durable)
                                         return keeper.Note(stored);
                                     // The rows first: the journal must never claim more.
                                     MakeCoursesDurable();
                                     journal.stored = stored;
                                     write();
                                 }};
    if (!MergeCatalogue(mainWindow, progressWindow, local, stop, &problem, &progress) ||
        stop.stop_requested()) {
        // A file the server sent with an error status is no catalogue: the status says why.
        if (!downloaded.empty())
            problem = downloaded;
        return false;
    }
    return true;
}

} // namespace

void RunCatalogueUpdate(HWND mainWindow, OfferedCatalogue offer, HWND progressWindow,
                        std::stop_token stop) {
    PostMessage(progressWindow, kProgressMessage, 0);
    StatusCode result = StatusCode::UpdateCompleted;
    std::string problem;
    try {
        const std::uint32_t offered = offer.offeredVersion;
        const std::uint32_t local = CopySettings().updateVersion;
        if (offered > local) {
            if (DownloadAndMerge(mainWindow, offer, local, progressWindow, stop, problem)) {
                // The new version says every course of the catalogue is stored: the rows must
                // be on the disk before it is, or a power cut would lose courses for good.
                MakeCoursesDurable();
                ChangeSettings([&](Settings& settings) { settings.updateVersion = offered; });
                SaveSettings();
                RemoveUpdateJournal();
            } else {
                result = StatusCode::UpdateError;
            }
        }
    } catch (const std::exception& error) {
        std::fputs(Format(Tr("verdal: catalogue update failed: %s\n"), error.what()).c_str(),
                   stderr);
        result = StatusCode::UpdateError;
        problem = error.what();
    }
    if (stop.stop_requested() && result == StatusCode::UpdateError)
        // TRANSLATORS: follows "UPDATE GOF FILE ERROR - " once the user stopped the update.
        problem = Tr("stopped");
    PostStatus(mainWindow, result, result == StatusCode::UpdateError ? problem : std::string());
    EndDialog(GetParent(progressWindow), 1);
}

} // namespace verdal
