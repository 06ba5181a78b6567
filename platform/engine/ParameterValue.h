// ParameterValue: a value given for one named parameter of a Jet SQL statement (internal).
#pragma once

#include <string>

#include "platform/Value.h"

namespace platform {

struct ParameterValue {
    std::string name;
    Value value;
};

}  // namespace platform
