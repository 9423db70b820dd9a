// The course sender fed arbitrary answer bytes: it only ever sends the course's own blocks, never
// one ahead of the block the device has acknowledged, sends EOT only once the last block was
// acknowledged, and is done only when the device acknowledged EOT. The first byte sets the
// course's length in blocks (a real course has 57); the rest are the device's answers.
#include "device/xmodem_sender.h"
#include "fuzz/targets/expect.h"

#include <cstdint>
#include <vector>

using namespace verdal;
using verdal::fuzz::Expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint32_t blocks = data[0] % 64;
    std::vector<std::uint8_t> course(blocks * kXmodemData + data[0] % 7);
    for (std::size_t i = 0; i < course.size(); ++i)
        course[i] = static_cast<std::uint8_t>(i * 7);
    XmodemSender sender(course.data(), static_cast<std::uint32_t>(course.size()));
    Expect(sender.Size() == blocks * kXmodemData);

    // What the device holds: the blocks it has acknowledged, in order.
    std::uint32_t acknowledged = 0;
    bool blockOut = false; // a block waits for its answer
    std::uint32_t outPosition = 0;
    bool eotOut = false;
    bool done = false;
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t answer = data[i];
        if (blockOut && answer == kAck && outPosition == acknowledged)
            acknowledged += kXmodemData;
        const XmodemSender::Action action = sender.OnAnswer(answer);
        switch (action) {
        case XmodemSender::Action::Block: {
            Expect(!done && !eotOut);
            const std::uint32_t position = sender.BlockPosition();
            Expect(position % kXmodemData == 0 && position < sender.Size());
            // The block asked for again, or the one after the last acknowledged.
            Expect(position <= acknowledged);
            Expect(sender.Block() == XmodemBlock(course.data(), position));
            blockOut = true;
            outPosition = position;
            break;
        }
        case XmodemSender::Action::Eot:
            Expect(!done && acknowledged == sender.Size() && (answer == kAck || answer == kNak));
            eotOut = true;
            blockOut = false;
            break;
        case XmodemSender::Action::Done:
            Expect(eotOut && answer == kAck && !done);
            done = true;
            break;
        case XmodemSender::Action::None:
            break;
        }
    }
    return 0;
}
