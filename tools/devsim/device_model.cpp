// The simulated device's protocol, transfer receiver and course store.
#include "tools/devsim/device_model.h"

#include "device/course_name.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <utility>

namespace verdal::devsim {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kSoh = 0x01, kEot = 0x04, kAck = 0x06, kNak = 0x15, kCan = 0x18;
constexpr std::size_t kBlock = 133;
constexpr auto kStartRepeat = std::chrono::milliseconds(1000);
constexpr int kStartTries = 10;
constexpr auto kBlockSilence = std::chrono::milliseconds(1000);
constexpr auto kTransferSilence = std::chrono::milliseconds(10000);

std::uint16_t Crc(const std::uint8_t* bytes, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= static_cast<std::uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// The course's name as the device keeps it: a narrow name in bytes 0 to 19, or, when byte 0 is
// zero, up to 8 UTF-16LE units in bytes 4 to 19.
bool IsWide(const std::vector<std::uint8_t>& map) {
    return map.size() >= 20 && map[0] == 0;
}

// The name field a delete command carries for this course.
std::vector<std::uint8_t> DeleteForm(const std::vector<std::uint8_t>& map) {
    std::vector<std::uint8_t> head(map.begin(),
                                   map.begin() + std::min<std::size_t>(20, map.size()));
    head.resize(20, 0);
    if (!IsWide(head)) {
        const auto end = std::find(head.begin(), head.end(), 0);
        std::fill(end, head.end(), 0);
        return head;
    }
    std::vector<std::uint8_t> form(17, 0);
    form[0] = 0x40;
    for (std::size_t i = 0; i < 8; ++i) {
        if (head[4 + 2 * i] == 0 && head[5 + 2 * i] == 0)
            break;
        form[1 + 2 * i] = head[4 + 2 * i];
        form[2 + 2 * i] = head[5 + 2 * i];
    }
    return form;
}

// The course's entry in the list reply: "@" and its units, or its narrow bytes.
std::vector<std::uint8_t> ListForm(const std::vector<std::uint8_t>& map) {
    std::vector<std::uint8_t> form = DeleteForm(map);
    std::size_t length = form.size();
    if (form[0] == 0x40) {
        length = 1;
        while (length + 1 < form.size() && (form[length] != 0 || form[length + 1] != 0))
            length += 2;
    } else {
        length = static_cast<std::size_t>(std::find(form.begin(), form.end(), 0) - form.begin());
    }
    form.resize(length);
    return form;
}

} // namespace

DeviceModel::DeviceModel(Options options) : options_(std::move(options)) {
    LoadStore();
    // A course map as the catalogue sends them: 7264 bytes of map with the name at its head,
    // padded to the 7296 bytes of a transfer.
    for (std::size_t n = 0; n < options_.courses.size(); ++n) {
        std::vector<std::uint8_t> map(7296, 0);
        WriteCourseMapName(verdal::Utf8ToUtf16(options_.courses[n]), map.data());
        for (std::size_t i = 20; i < 7264; ++i)
            map[i] = static_cast<std::uint8_t>(i * 31 + n * 7);
        StoreCourse(std::move(map));
    }
}

void DeviceModel::LoadStore() {
    if (options_.storeDir.empty())
        return;
    std::error_code error;
    fs::create_directories(options_.storeDir, error);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(options_.storeDir, error))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (bytes.size() >= 20)
            courses_.push_back(Course{file.string(), std::move(bytes)});
    }
}

void DeviceModel::Reply(const std::string& text) {
    if (FaultFor(Fault::Kind::Garbage, current_)) {
        static const std::string noise = "#~\x7f\xfe junk ";
        output_.insert(output_.end(), noise.begin(), noise.end());
    }
    output_.insert(output_.end(), text.begin(), text.end());
}

void DeviceModel::Receive(const std::uint8_t* bytes, std::size_t count, Clock::time_point now) {
    for (std::size_t i = 0; i < count; ++i) {
        if (mode_ == Mode::Transfer) {
            TransferByte(bytes[i], now);
            continue;
        }
        if (mode_ == Mode::Stalled) {
            lastByte_ = now;
            continue;
        }
        input_.push_back(bytes[i]);
        // Commands: "$", four letters and a carriage return; the delete command instead ends
        // in a blank, a length byte (0x80 + n) and n name bytes.
        while (!input_.empty()) {
            const auto dollar = std::find(input_.begin(), input_.end(), '$');
            input_.erase(input_.begin(), dollar);
            if (input_.size() < 6)
                break;
            const std::string name(input_.begin() + 1, input_.begin() + 5);
            if (name == "CRDC" && input_[5] == ' ') {
                if (input_.size() < 7)
                    break;
                const std::size_t length = input_[6] >= 0x80 ? input_[6] - 0x80u : 0;
                if (length != 17 && length != 20) {
                    input_.erase(input_.begin());
                    continue;
                }
                if (input_.size() < 7 + length)
                    break;
                std::vector<std::uint8_t> argument(input_.begin() + 7, input_.begin() + 7 + length);
                input_.erase(input_.begin(), input_.begin() + 7 + length);
                Command(name, argument, now);
            } else if (input_[5] == '\r') {
                input_.erase(input_.begin(), input_.begin() + 6);
                Command(name, {}, now);
            } else {
                input_.erase(input_.begin());
            }
            if (mode_ != Mode::Command)
                break;
        }
    }
    if (mode_ != Mode::Command)
        input_.clear();
}

void DeviceModel::Command(const std::string& name, const std::vector<std::uint8_t>& argument,
                          Clock::time_point now) {
    ++seen_[name];
    current_ = name;
    if (FaultFor(Fault::Kind::Silent, name))
        return;
    if (FaultFor(Fault::Kind::NoMarker, name)) {
        // The device refuses: it answers, but without the marker, and does nothing.
        Reply("$ERR" + name.substr(0, 1) + "\r");
        return;
    }
    if (name == "FCON") {
        Reply("$OKCN");
    } else if (name == "EXIT") {
        readyForFile_ = false;
        Reply("$EXCN");
    } else if (name == "RDCS") {
        Reply(std::to_string(options_.capacity) + "\r$OKRD\r");
    } else if (name == "RDSN") {
        const bool empty = FindFault(Fault::Kind::EmptySerial) != nullptr;
        Reply((empty ? std::string() : options_.serial) + "\r$OKRD");
    } else if (name == "CRLS") {
        std::string reply = "$OKCN\r";
        for (const Course& course : courses_) {
            const std::vector<std::uint8_t> entry = ListForm(course.bytes);
            reply.push_back(static_cast<char>(entry.size()));
            reply.append(entry.begin(), entry.end());
        }
        reply.push_back('\0');
        Reply(reply);
    } else if (name == "CRDC") {
        const auto found = std::find_if(courses_.begin(), courses_.end(), [&](const Course& c) {
            return DeleteForm(c.bytes) == argument;
        });
        if (found == courses_.end()) {
            Reply("$NODC");
            return;
        }
        DeleteCourseFile(*found);
        courses_.erase(found);
        Reply("$OKDC");
    } else if (name == "CRCA") {
        for (const Course& course : courses_)
            DeleteCourseFile(course);
        courses_.clear();
        Reply("$OKCA");
    } else if (name == "NCFS") {
        if (static_cast<int>(courses_.size()) >= options_.capacity) {
            Reply("$FLFS");
            return;
        }
        readyForFile_ = true;
        Reply("$OKFS");
    } else if (name == "STRT" && readyForFile_) {
        readyForFile_ = false;
        mode_ = Mode::Transfer;
        block_.clear();
        received_.clear();
        expected_ = 1;
        naked_ = 0;
        starts_ = 1;
        eotNaked_ = false;
        eotPending_ = false;
        lastByte_ = lastStart_ = now;
        output_.push_back('C');
    }
}

void DeviceModel::TransferByte(std::uint8_t byte, Clock::time_point now) {
    lastByte_ = now;
    // A late-answering receiver takes EOT only when the line stays quiet after it: any byte
    // that follows makes that EOT line noise.
    eotPending_ = false;
    if (block_.empty()) {
        if (byte == '$') {
            // The program gave up on the transfer and speaks commands again.
            mode_ = Mode::Command;
            input_.assign(1, byte);
        } else if (byte == kEot) {
            if (FindFault(Fault::Kind::NakEot) && !eotNaked_) {
                eotNaked_ = true;
                output_.push_back(kNak);
            } else if (FindFault(Fault::Kind::EotNever)) {
                // Unanswered: the transfer is forgotten once the line has been silent long
                // enough, and the course is not kept.
            } else if (const Fault* late = FindFault(Fault::Kind::EotLate)) {
                eotPending_ = true;
                eotDue_ = now + std::chrono::milliseconds(late->delayMs);
            } else {
                EndTransfer();
            }
        } else if (byte == kCan) {
            mode_ = Mode::Command;
        } else if (byte == kSoh) {
            block_.push_back(byte);
        }
        return;
    }
    block_.push_back(byte);
    if (block_.size() < kBlock)
        return;
    const int number = block_[1];
    const bool whole = block_[2] == 255 - number &&
                       Crc(block_.data() + 3, 128) == ((block_[131] << 8) | block_[132]);
    std::vector<std::uint8_t> data(block_.begin() + 3, block_.begin() + 131);
    block_.clear();
    if (!whole) {
        output_.push_back(kNak);
        return;
    }
    if (number == ((expected_ - 1) & 0xFF)) { // a repeat of the block already taken
        output_.push_back(kAck);
        return;
    }
    if (number != (expected_ & 0xFF)) {
        output_.push_back(kNak);
        return;
    }
    if (BlockFault(Fault::Kind::NakBlock, expected_) && naked_ != expected_) {
        naked_ = expected_;
        output_.push_back(kNak);
        return;
    }
    received_.insert(received_.end(), data.begin(), data.end());
    if (BlockFault(Fault::Kind::HangUp, expected_)) {
        hangUp_ = true;
        mode_ = Mode::Command;
        return;
    }
    if (!unplugged_ && BlockFault(Fault::Kind::Unplug, expected_)) {
        unplugged_ = unplug_ = true;
        mode_ = Mode::Command;
        return;
    }
    if (BlockFault(Fault::Kind::StallAfterBlock, expected_)) {
        mode_ = Mode::Stalled;
        return;
    }
    ++expected_;
    output_.push_back(kAck);
}

void DeviceModel::EndTransfer() {
    output_.push_back(kAck);
    mode_ = Mode::Command;
    StoreCourse(std::move(received_));
    received_.clear();
}

void DeviceModel::Tick(Clock::time_point now) {
    if (mode_ == Mode::Transfer && eotPending_ && now >= eotDue_) {
        eotPending_ = false;
        EndTransfer();
        return;
    }
    if (mode_ == Mode::Stalled && now - lastByte_ > kBlockSilence) {
        mode_ = Mode::Command; // the stalled transfer is forgotten; commands work again
        return;
    }
    if (mode_ != Mode::Transfer)
        return;
    if (received_.empty() && block_.empty() && expected_ == 1) {
        if (now - lastStart_ >= kStartRepeat) {
            if (++starts_ > kStartTries) {
                mode_ = Mode::Command;
                return;
            }
            lastStart_ = now;
            output_.push_back('C');
        }
        return;
    }
    if (!block_.empty() && now - lastByte_ > kBlockSilence) {
        block_.clear();
        output_.push_back(kNak);
        lastByte_ = now;
    } else if (now - lastByte_ > kTransferSilence) {
        mode_ = Mode::Command;
    }
}

Clock::time_point DeviceModel::NextTick(Clock::time_point now) const {
    if (mode_ == Mode::Command)
        return now + std::chrono::milliseconds(500);
    const auto soon = now + std::chrono::milliseconds(50);
    return eotPending_ ? std::min(soon, eotDue_) : soon;
}

std::vector<std::uint8_t> DeviceModel::TakeOutput() {
    return std::exchange(output_, {});
}

bool DeviceModel::TakeHangUp() {
    return std::exchange(hangUp_, false);
}

bool DeviceModel::TakeUnplug() {
    return std::exchange(unplug_, false);
}

void DeviceModel::StoreCourse(std::vector<std::uint8_t> bytes) {
    if (bytes.size() < 20)
        return;
    const std::vector<std::uint8_t> name = DeleteForm(bytes);
    std::string file;
    const auto same = std::find_if(courses_.begin(), courses_.end(),
                                   [&](const Course& c) { return DeleteForm(c.bytes) == name; });
    if (same != courses_.end()) {
        file = same->file;
        courses_.erase(same);
    } else if (!options_.storeDir.empty()) {
        for (int n = 1; file.empty(); ++n) {
            char leaf[32];
            std::snprintf(leaf, sizeof leaf, "course-%04d.gof", n);
            const fs::path candidate = fs::path(options_.storeDir) / leaf;
            std::error_code error;
            if (!fs::exists(candidate, error))
                file = candidate.string();
        }
    }
    if (!file.empty()) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out)
            std::cerr << "verdal-devsim: cannot write " << file << "\n";
    }
    courses_.push_back(Course{file, std::move(bytes)});
}

void DeviceModel::DeleteCourseFile(const Course& course) {
    std::error_code error;
    if (!course.file.empty())
        fs::remove(course.file, error);
}

} // namespace verdal::devsim
