#include "platform/jetsql/JetDateLiteral.h"

#include <array>
#include <cctype>
#include <ctime>
#include <string>
#include <vector>

#include "platform/DateConversion.h"
#include "platform/engine/SqlText.h"
#include "platform/jetsql/JetFunctionSupport.h"

namespace platform {
namespace {

struct Part {
    enum Kind { Number, Word, Separator } kind;
    std::string text;  // a Word in upper case
    int value = 0;     // a Number's value
};

std::optional<std::vector<Part>> Split(std::string_view text) {
    std::vector<Part> parts;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isdigit(c)) {
            Part p{Part::Number, {}, 0};
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
                if (p.text.size() >= 4) return std::nullopt;
                p.text += text[i++];
            }
            p.value = std::stoi(p.text);
            parts.push_back(std::move(p));
        } else if (std::isalpha(c)) {
            Part p{Part::Word, {}, 0};
            while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
                p.text += text[i++];
            p.text = UpperAscii(p.text);
            parts.push_back(std::move(p));
        } else if (c == ' ' || c == ',') {
            ++i;  // separates, like the absence of a sign
        } else if (c == '/' || c == '-' || c == '.' || c == ':') {
            parts.push_back(Part{Part::Separator, std::string(1, text[i++]), 0});
        } else {
            return std::nullopt;
        }
    }
    return parts;
}

// 1 to 12 for a month's English name or its first three letters, else 0.
int MonthOf(const std::string& upper) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
        "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
    if (upper.size() < 3) return 0;
    for (size_t m = 0; m < kMonths.size(); ++m) {
        if (kMonths[m].starts_with(upper)) return static_cast<int>(m) + 1;
        if (m == 8 && upper == "SEPT") return 9;
    }
    return 0;
}

// Two-digit years are 1930 to 2029, as Jet reads them.
int FullYear(const Part& p) {
    if (p.text.size() > 2) return p.value;
    return p.value < 30 ? 2000 + p.value : 1900 + p.value;
}

int CurrentYear() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_year + 1900;
}

// The time at the end of `parts` (from `at`): h:mm[:ss] [AM|PM] or h AM|PM.
bool ReadTime(const std::vector<Part>& parts, size_t at, CalendarDateTime& c) {
    std::vector<int> fields;
    size_t i = at;
    while (i < parts.size() && parts[i].kind == Part::Number) {
        if (parts[i].text.size() > 2) return false;
        fields.push_back(parts[i].value);
        ++i;
        if (i < parts.size() && parts[i].kind == Part::Separator && parts[i].text == ":") {
            ++i;
            if (i >= parts.size() || parts[i].kind != Part::Number) return false;
        } else {
            break;
        }
    }
    if (fields.empty() || fields.size() > 3) return false;
    int hour = fields[0];
    if (i < parts.size() && parts[i].kind == Part::Word &&
        (parts[i].text == "AM" || parts[i].text == "PM" || parts[i].text == "A" ||
         parts[i].text == "P")) {
        if (hour < 1 || hour > 12) return false;
        hour %= 12;
        if (parts[i].text[0] == 'P') hour += 12;
        ++i;
    } else if (fields.size() == 1) {
        return false;  // a lone number is no time
    }
    if (i != parts.size()) return false;
    const int minute = fields.size() > 1 ? fields[1] : 0;
    const int second = fields.size() > 2 ? fields[2] : 0;
    if (hour > 23 || minute > 59 || second > 59) return false;
    c.hour = hour, c.minute = minute, c.second = second;
    return true;
}

// Where the time starts: the first number followed by ':' or by AM/PM.
size_t TimeStart(const std::vector<Part>& parts) {
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].kind != Part::Number || i + 1 >= parts.size()) continue;
        const Part& next = parts[i + 1];
        if (next.kind == Part::Separator && next.text == ":") return i;
        if (next.kind == Part::Word && MonthOf(next.text) == 0) return i;
    }
    return parts.size();
}

bool ReadDate(const std::vector<Part>& parts, CalendarDateTime& c) {
    std::vector<Part> numbers;
    int month = 0;
    bool monthFirst = false, dots = false;
    char separator = 0;
    for (const Part& p : parts) {
        if (p.kind == Part::Number) {
            numbers.push_back(p);
        } else if (p.kind == Part::Word) {
            if (month != 0 || (month = MonthOf(p.text)) == 0) return false;
            monthFirst = numbers.empty();
        } else {
            if (p.text == ":") return false;
            if (separator != 0 && separator != p.text[0]) return false;
            separator = p.text[0];
            dots = separator == '.';
        }
    }
    const auto isYear = [](const Part& p) { return p.text.size() > 2 || p.value > 31; };
    if (month != 0) {  // "March 4, 2005", "4 Mar 2005", "4-Mar-05", "2005 Mar 4"
        if (numbers.empty() || numbers.size() > 2) return false;
        if (numbers.size() == 1) {
            if (isYear(numbers[0]))
                c.year = FullYear(numbers[0]), c.day = 1;
            else
                c.year = CurrentYear(), c.day = numbers[0].value;
        } else if (isYear(numbers[0]) && !monthFirst) {
            c.year = FullYear(numbers[0]), c.day = numbers[1].value;
        } else {
            c.day = numbers[0].value, c.year = FullYear(numbers[1]);
        }
        c.month = month;
    } else if (numbers.size() == 3) {
        if (numbers[0].text.size() > 2) {  // yyyy-m-d, yyyy/m/d
            c.year = numbers[0].value, c.month = numbers[1].value, c.day = numbers[2].value;
        } else if (dots || (numbers[0].value > 12 && numbers[1].value <= 12)) {
            // d.m.y, and day first where the first number cannot be a month
            c.day = numbers[0].value, c.month = numbers[1].value, c.year = FullYear(numbers[2]);
        } else {
            c.month = numbers[0].value, c.day = numbers[1].value, c.year = FullYear(numbers[2]);
        }
    } else if (numbers.size() == 2) {  // m/d, or d/m where d cannot be a month, this year
        if (isYear(numbers[0]) || isYear(numbers[1])) return false;
        c.year = CurrentYear();
        const bool dayFirst = dots || (numbers[0].value > 12 && numbers[1].value <= 12);
        c.month = numbers[dayFirst ? 1 : 0].value;
        c.day = numbers[dayFirst ? 0 : 1].value;
    } else {
        return false;
    }
    return c.year >= 100 && c.year <= 9999 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
           c.day <= DaysInMonth(c.year, c.month);
}

}  // namespace

std::optional<double> ParseJetDateLiteral(std::string_view text) {
    const auto parts = Split(text);
    if (!parts || parts->empty()) return std::nullopt;
    // A T between date and time, as ISO writes it.
    std::vector<Part> list = *parts;
    for (size_t i = 1; i + 1 < list.size(); ++i) {
        if (list[i].kind == Part::Word && list[i].text == "T" && list[i - 1].kind == Part::Number)
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    }
    CalendarDateTime c;
    const size_t timeAt = TimeStart(list);
    if (timeAt < list.size() && !ReadTime(list, timeAt, c)) return std::nullopt;
    if (timeAt > 0) {
        const std::vector<Part> date(list.begin(),
                                     list.begin() + static_cast<std::ptrdiff_t>(timeAt));
        if (!ReadDate(date, c)) return std::nullopt;
    }
    return CalendarToOleDate(c);
}

}  // namespace platform
