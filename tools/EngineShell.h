// EngineShell: the command-line shell over the engine (sonavoxa-sql).
//
//   sonavoxa-sql [--create] [--null TEXT] FILE [STATEMENT...]
//
// Runs Jet SQL statements on FILE: a SELECT (or the name of a table or stored select query)
// prints its rows as tab-separated text under a header line; other statements are executed.
// Dot commands: .tables, .schema [TABLE], .queries, .compact DESTINATION,
// .allowzerolength TABLE FIELD|* on|off, .query NAME FILE (stores FILE's Jet SQL text as the
// query NAME). Without statements on the command line, statements
// are read from standard input, each ended by ';' (a dot command by its line); lines starting
// with "--" are comments. A failing statement prints "Error <number>: <text>" on standard
// error; the shell goes on and exits with 1 at the end (2 for bad usage).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tools {

class EngineShell {
  public:
    EngineShell(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // Runs the shell with the command line (without the program name); returns the exit code.
    int Run(const std::vector<std::string>& args, std::istream& in);

  private:
    bool RunStatement(const std::string& file, const std::string& statement);
    void RunDotCommand(const std::string& file, const std::string& line);
    std::ostream& out_;
    std::ostream& err_;
    std::string nullText_;
};

// The statements of a script: split at ';' outside quotes, brackets and #dates#; dot commands
// on their own line; "--" comment lines dropped.
std::vector<std::string> SplitScript(std::istream& in);

}  // namespace tools
