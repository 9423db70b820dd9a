// The server's shared state: its connections and the grace period after the last one.
#include "engine/server/shared_state.h"

#include "engine/server/http_session.h"
#include "engine/server/uplink.h"
#include "engine/server/websocket_session.h"

#include <boost/asio/post.hpp>

#include <memory>
#include <vector>

namespace verdal::engine {

SharedState::SharedState(boost::asio::io_context& context, Uplink& uplink, std::string token,
                         std::uint16_t port, unsigned graceMs, std::size_t sessionQueueLimit,
                         std::size_t strangerLimit, unsigned firstRequestMs)
    : context_(context), uplink_(uplink), token_(std::move(token)), port_(port), graceMs_(graceMs),
      sessionQueueLimit_(sessionQueueLimit), grace_(context), strangerLimit_(strangerLimit),
      firstRequestMs_(firstRequestMs) {}

bool SharedState::RoomForStranger() {
    std::erase_if(strangers_, [](const Stranger& stranger) {
        const auto session = stranger.session.lock();
        return !session || session->Trusted();
    });
    return strangers_.size() < strangerLimit_;
}

void SharedState::Admit(const std::shared_ptr<HttpSession>& session) {
    strangers_.push_back({session});
}

void SharedState::Join(const std::shared_ptr<WebSocketSession>& session) {
    sessions_[session->Id()] = session;
    ++open_;
    grace_.cancel();
}

void SharedState::Leave(std::uint64_t id) {
    sessions_.erase(id);
    if (--open_ == 0)
        StartGraceTimer();
}

void SharedState::Broadcast(std::string message) {
    auto shared = std::make_shared<const std::string>(std::move(message));
    boost::asio::post(context_, [this, shared] {
        // A session that cannot take the message leaves at once, erasing itself from sessions_:
        // the sessions are taken first, and sent to afterwards.
        std::vector<std::shared_ptr<WebSocketSession>> receivers;
        receivers.reserve(sessions_.size());
        for (const auto& [id, weak] : sessions_)
            if (auto session = weak.lock(); session && session->HasState())
                receivers.push_back(std::move(session));
        for (const auto& session : receivers)
            session->Send(shared);
    });
}

void SharedState::SendTo(std::uint64_t id, std::string message) {
    auto shared = std::make_shared<const std::string>(std::move(message));
    boost::asio::post(context_, [this, shared, id] {
        auto it = sessions_.find(id);
        if (it == sessions_.end())
            return;
        if (auto session = it->second.lock()) {
            session->GotState();
            session->Send(shared);
        }
    });
}

void SharedState::Stop() {
    endWithBrowsers_ = false;
    grace_.cancel();
    waiting_.clear();
    strangers_.clear();
}

void SharedState::StartGraceTimer() {
    if (!endWithBrowsers_)
        return;
    grace_.expires_after(std::chrono::milliseconds(graceMs_));
    grace_.async_wait([this](boost::system::error_code ec) {
        if (!ec && open_ == 0 && endWithBrowsers_)
            uplink_.Post([](const ServerHandlers& engine) { engine.shutdown(); });
    });
}

} // namespace verdal::engine
