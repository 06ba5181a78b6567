#include "platform/os/Environment.h"

#include <cstdlib>

namespace platform {

Environment Environment::Process() { return Environment(std::nullopt); }

Environment Environment::FromTable(std::map<std::string, std::string> variables) {
    return Environment(std::move(variables));
}

std::optional<std::string> Environment::Get(const std::string& name) const {
    if (table_) {
        auto it = table_->find(name);
        if (it == table_->end()) return std::nullopt;
        return it->second;
    }
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace platform
