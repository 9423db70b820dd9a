// The faults a simulated device can be told to show: their names on the command line, and which
// command, block or end of transfer each one strikes.
#include "tools/devsim/device_model.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace verdal::devsim {

bool ParseFault(const std::string& text, Fault& fault) {
    const auto colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
    static const std::map<std::string, Fault::Kind> kinds = {
        {"silent", Fault::Kind::Silent},         {"nomarker", Fault::Kind::NoMarker},
        {"garbage", Fault::Kind::Garbage},       {"nak", Fault::Kind::NakBlock},
        {"stall", Fault::Kind::StallAfterBlock}, {"hangup", Fault::Kind::HangUp},
        {"unplug", Fault::Kind::Unplug},         {"empty-serial", Fault::Kind::EmptySerial},
        {"nak-eot", Fault::Kind::NakEot},        {"eot-late", Fault::Kind::EotLate},
        {"eot-never", Fault::Kind::EotNever},
    };
    const auto found = kinds.find(kind);
    if (found == kinds.end())
        return false;
    fault = Fault{found->second, {}, 0, 0, 0};
    try {
        switch (fault.kind) {
        case Fault::Kind::EmptySerial:
        case Fault::Kind::NakEot:
        case Fault::Kind::EotNever:
            return colon == std::string::npos;
        case Fault::Kind::EotLate: {
            std::size_t used = 0;
            fault.delayMs = std::stoi(rest, &used);
            return used == rest.size() && fault.delayMs >= 0;
        }
        case Fault::Kind::NakBlock:
        case Fault::Kind::StallAfterBlock:
        case Fault::Kind::HangUp:
        case Fault::Kind::Unplug:
            fault.block = std::stoi(rest);
            return fault.block > 0;
        default: {
            const auto hash = rest.find('#');
            fault.command = rest.substr(0, hash);
            if (hash != std::string::npos)
                fault.occurrence = std::stoi(rest.substr(hash + 1));
            return fault.command.size() == 4 && fault.occurrence >= 0;
        }
        }
    } catch (const std::exception&) {
        return false;
    }
}

bool DeviceModel::FaultFor(Fault::Kind kind, const std::string& command) const {
    const auto seen = seen_.find(command);
    const int count = seen == seen_.end() ? 0 : seen->second;
    return std::any_of(options_.faults.begin(), options_.faults.end(), [&](const Fault& f) {
        return f.kind == kind && f.command == command &&
               (f.occurrence == 0 || f.occurrence == count);
    });
}

const Fault* DeviceModel::FindFault(Fault::Kind kind) const {
    const auto found = std::find_if(options_.faults.begin(), options_.faults.end(),
                                    [&](const Fault& f) { return f.kind == kind; });
    return found == options_.faults.end() ? nullptr : &*found;
}

bool DeviceModel::BlockFault(Fault::Kind kind, int block) const {
    return std::any_of(options_.faults.begin(), options_.faults.end(),
                       [&](const Fault& f) { return f.kind == kind && f.block == block; });
}

} // namespace verdal::devsim
