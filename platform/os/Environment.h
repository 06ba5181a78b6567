// Environment: read access to environment variables, either the process's own or a fixed table.
//
// The platform layers look every location up through an Environment instead of calling getenv
// directly, so tests can hand them a table and never touch the process environment. A value
// object: copies share nothing.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace platform {

class Environment {
  public:
    // The environment of the running process, read at each Get().
    static Environment Process();
    // A fixed table; variables not in it are unset.
    static Environment FromTable(std::map<std::string, std::string> variables);

    // The variable's value, or nullopt when it is not set. A variable set to empty text
    // yields "" (callers decide whether empty counts as unset).
    std::optional<std::string> Get(const std::string& name) const;

  private:
    explicit Environment(std::optional<std::map<std::string, std::string>> table)
        : table_(std::move(table)) {}

    std::optional<std::map<std::string, std::string>> table_;  // nullopt: the process's
};

}  // namespace platform
