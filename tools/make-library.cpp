// make-library: writes a sample music library of the old format 2.5 (see LibraryGenerator.h).
//
//   make-library OUT.mdb [--titles N] [--entries E] [--seed S] [--no-sid]
//
// OUT.mdb must not exist. The same N, E, S and --no-sid always give the same rows. E asks for about
// E playlist entries (more playlists); without it the library's size decides.
#include <charconv>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

#include "LibraryGenerator.h"
#include "platform/JetError.h"

namespace {

constexpr const char* kUsage =
    "usage: make-library OUT.mdb [--titles N] [--entries E] [--seed S] [--no-sid]\n";

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

int main(int argc, char** argv) {
    tools::LibraryOptions options;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--titles" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], options.titles) || options.titles < 0) {
                std::cerr << "make-library: --titles needs a whole number >= 0\n";
                return 2;
            }
        } else if (a == "--entries" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], options.entries) || options.entries < 0) {
                std::cerr << "make-library: --entries needs a whole number >= 0\n";
                return 2;
            }
        } else if (a == "--seed" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], options.seed)) {
                std::cerr << "make-library: --seed needs a whole number >= 0\n";
                return 2;
            }
        } else if (a == "--no-sid") {
            options.withSid = false;
        } else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (out.empty() && !a.starts_with("--")) {
            out = a;
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (out.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        const tools::LibrarySummary s = tools::LibraryGenerator(options).Write(out);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cout << out << ": " << s.titles << " titles (" << s.deleted << " marked deleted, "
                  << s.withoutGenre << " without genre row), " << s.genres << " genres, "
                  << s.playlists << " playlists with " << s.entries << " entries; " << took.count()
                  << " s\n";
    } catch (const platform::JetError& e) {
        std::cerr << "make-library: Error " << e.Number() << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
