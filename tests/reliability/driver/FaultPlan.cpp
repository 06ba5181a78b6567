#include "FaultPlan.h"

#include <cstdlib>

namespace reliability {

FaultPlan& FaultPlan::Instance() {
    static FaultPlan plan;
    return plan;
}

bool FaultPlan::Parse(const std::string& text) {
    if (text == "none") {
        mode_ = Mode::None;
        return true;
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string kind = text.substr(0, colon);
    char* end = nullptr;
    const long at = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (at < 1 || end == nullptr || *end != '\0') return false;
    static const std::pair<const char*, Mode> kModes[] = {
        {"any", Mode::Any},   {"open", Mode::Open},         {"write", Mode::Write},
        {"sync", Mode::Sync}, {"truncate", Mode::Truncate}, {"full", Mode::Full}};
    for (const auto& [name, mode] : kModes) {
        if (kind == name) {
            mode_ = mode;
            at_ = at;
            return true;
        }
    }
    return false;
}

bool FaultPlan::Fails(IoKind kind, bool writes) {
    const long call = ++calls_;
    const long ofKind = ++kindCalls_[static_cast<int>(kind)];
    if (!armed_) return false;
    bool fail = false;
    switch (mode_) {
        case Mode::None:
            break;
        case Mode::Any:
            fail = call == at_;
            break;
        case Mode::Open:
            fail = kind == IoKind::Open && ofKind == at_;
            break;
        case Mode::Write:
            fail = kind == IoKind::Write && ofKind == at_;
            break;
        case Mode::Sync:
            fail = kind == IoKind::Sync && ofKind == at_;
            break;
        case Mode::Truncate:
            fail = kind == IoKind::Truncate && ofKind == at_;
            break;
        case Mode::Full:
            // A full disk refuses what needs space and nothing else, from the k-th call on.
            fail = writes && call >= at_;
            break;
    }
    if (fail) {
        long none = 0;
        firstFailure_.compare_exchange_strong(none, call);
    }
    return fail;
}

}  // namespace reliability
