// Many HTTP fetches at once on one libcurl multi handle, each with the request settings of
// FetchUrlToMemory and FetchUrlToFile (see http_fetch.h): the single fetches run one transfer
// on a set of their own, the catalogue merge keeps a window of course maps in flight on one.
//
// Threads: a set belongs to the thread that made it; only that thread calls it, and the
// transfers advance only inside Wait and Advance. Connections are kept alive and reused between
// the set's transfers, at most connectionsPerHost to one server (several requests share one
// connection where the server speaks HTTP/2); they all close when the set goes.
//
// Stopping: once a stop is requested through the set's stop token, Wait answers at once (a
// transfer's own progress report also answers the stop), and the transfers in flight are
// abandoned when the set is destroyed.
//
// Course maps: a transfer of a map (StartMap) is started and tried again as the set's pacer
// allows (see pacer.h): a request the server turned away makes every map transfer wait and fewer
// of them run; a map that broke off or stalled is tried again after a pause of its own that grows
// from 500 ms (see SetFetchRetryPause), twice as long each time. A map is given up only once no
// map at all has arrived for the give-up limit (see SetFetchGiveUp), or at once when its answer
// ends the update (see http_answer.h). Wait answers only for the last attempt.
#pragma once

#include "update/http_fetch.h"
#include "update/pacer.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace verdal {

class TransferSet {
public:
    using Id = std::uint64_t;

    explicit TransferSet(std::stop_token stop = {}, long connectionsPerHost = 8);
    TransferSet(const TransferSet&) = delete;
    TransferSet& operator=(const TransferSet&) = delete;
    // Abandons every transfer still in flight and closes the connections.
    ~TransferSet();

    // Starts fetching the body of url into buffer, which holds capacity bytes and must stay
    // valid until Wait has answered for this transfer or the set is gone. The whole transfer
    // must end within 5 s (the version reply is small).
    Id StartToMemory(std::u16string_view url, void* buffer, std::uint32_t capacity);
    // The same for a course map, paced and tried again as above; buffer holds capacity bytes,
    // zeroed before each try.
    Id StartMap(std::u16string_view url, void* buffer, std::uint32_t capacity);
    // Starts fetching the body of url into the file at path (UTF-16); the file is created anew
    // when the first bytes arrive (or the body turns out empty). validators, when given, make
    // the request conditional and receive the answer's (see FileValidators); they must stay
    // valid until Wait has answered for this transfer or the set is gone.
    Id StartToFile(std::u16string_view url, std::u16string_view path,
                   FileValidators* validators = nullptr);

    // Advances every transfer until the given one has ended and answers its result the way
    // FetchUrlToMemory or FetchUrlToFile does, and in problem (when given) what they say of it;
    // the transfer is then forgotten. Answers nothing once a stop has been requested (the
    // transfer is abandoned).
    std::optional<int> Wait(Id id, std::string* problem = nullptr, FetchAnswer* answer = nullptr);
    // Advances the transfers as far as they can go without waiting.
    void Advance();

    bool StopRequested() const { return stop_.stop_requested(); }

    // Called from Wait, on the set's thread, each time the wait on a busy server begins, changes
    // its whole seconds or ends (with 0): how many milliseconds every map transfer still waits.
    void OnBusy(std::function<void(std::uint32_t waitMs)> busy) { onBusy_ = std::move(busy); }

private:
    struct Transfer;

    // Collects the transfers libcurl has finished, and sets those worth another try aside.
    void CollectFinished();
    // Starts again the transfers whose pause has passed (and the paced ones the pacer lets);
    // answers how many it started.
    int RestartDue();
    // One turn of the loop: restarts what is due, advances every transfer, collects the ended.
    void Turn();
    // Whether a paused transfer waits for a time to pass rather than for a connection.
    bool WaitsOnTheClock() const;
    // Tells onBusy_ of a change in the wait on a busy server.
    void TellBusy();

    // Ends a wait for socket activity on the multi handle from the thread that requests a stop.
    struct Wake {
        void* multi;
        void operator()() const;
    };

    Id Start(std::unique_ptr<Transfer> transfer);

    std::stop_token stop_;
    void* multi_ = nullptr; // CURLM*
    std::map<Id, std::unique_ptr<Transfer>> transfers_;
    Id nextId_ = 1;
    Pacer pacer_;
    int pacedRunning_ = 0;
    std::function<void(std::uint32_t)> onBusy_;
    std::uint32_t busyShown_ = 0; // the wait last told, in whole seconds (rounded up)
    std::unique_ptr<std::stop_callback<Wake>> wakeOnStop_; // last: goes before the handle
};

} // namespace verdal
