// The judgement of an HTTP answer.
#include "update/http_answer.h"

namespace verdal {
namespace {

// Statuses another try may cure; every other status but 200 and 304 ends the update.
constexpr long kPassingStatuses[] = {408, 425, 429, 500, 502, 503, 504, 507, 509};

bool Passing(long status) {
    for (const long passing : kPassingStatuses)
        if (passing == status)
            return true;
    return status >= 500 && status < 600;
}

} // namespace

Verdict JudgeAnswer(AnswerKind kind, const HttpAnswer& answer) {
    switch (answer.delivery) {
    case Delivery::Overflow:
    case Delivery::Unwritten:
        return Verdict::End;
    case Delivery::Cut:
    case Delivery::Reset:
    case Delivery::Stalled:
    case Delivery::Failed:
        // A map whose request cannot be made (no such host, an address of another protocol)
        // never can; the single requests keep their few tries.
        if (answer.delivery == Delivery::Failed && kind == AnswerKind::Map)
            return Verdict::End;
        // A status that ends the update does so however its body came.
        if (answer.status != 0 && answer.status != 200 && answer.status != 304 &&
            !Passing(answer.status))
            return Verdict::End;
        return Verdict::Retry;
    case Delivery::Whole:
        break;
    }
    if (answer.status == 200) {
        if (kind == AnswerKind::Map && answer.size != kMapBytes)
            return Verdict::End;
        return Verdict::Result;
    }
    if (answer.status == 304)
        return answer.conditional && kind == AnswerKind::Catalogue ? Verdict::Kept : Verdict::End;
    return Passing(answer.status) ? Verdict::Retry : Verdict::End;
}

bool TurnedAway(const HttpAnswer& answer) {
    return answer.delivery == Delivery::Reset || answer.status == 503 || answer.status == 429;
}

} // namespace verdal
