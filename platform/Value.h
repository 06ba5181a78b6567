// Value: the value of one field or expression, as the engine hands it to callers.
//
// A Value is a small, copyable variant of the kinds a Jet field can hold: Null, Boolean,
// whole numbers, single and double precision floating point, Date, Text (UTF-8) and binary.
// Dates are held as Jet stores them: days since 1899-12-30, the fraction being the time of day
// (see DateConversion.h). Values never convert implicitly; use the named factories and the
// As*/To* accessors. As* accessors require the matching kind; To* accessors convert the way
// Jet converts on assignment and raise JetError 3421 when a conversion is impossible.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

enum class ValueKind { Null, Boolean, Integer, Single, Double, Date, Text, Binary };

class Value {
  public:
    Value() = default;  // Null

    static Value Null() { return Value(); }
    static Value FromBoolean(bool b);
    static Value FromInteger(int64_t i);
    static Value FromSingle(float f);
    static Value FromDouble(double d);
    static Value FromDate(double oleDate);
    static Value FromText(std::string utf8);
    static Value FromBinary(std::vector<uint8_t> bytes);

    // Makes this a Text value of `utf8`, keeping the storage it held for text: refilling the
    // same values row after row then allocates nothing.
    void SetText(std::string_view utf8);

    ValueKind Kind() const { return kind_; }
    bool IsNull() const { return kind_ == ValueKind::Null; }
    bool IsNumeric() const;  // Boolean, Integer, Single, Double

    // REQUIRES: Kind() is the accessor's kind (AsDouble also takes Single).
    bool AsBoolean() const;
    int64_t AsInteger() const;
    double AsDouble() const;
    double AsDate() const;
    const std::string& AsText() const;
    const std::vector<uint8_t>& AsBinary() const;

    // Conversions with Jet's rules; throw JetError 3421 on failure. Null is not converted:
    // REQUIRES: !IsNull().
    double ToDouble() const;     // Boolean true is -1; text is parsed; a Date gives its day count
    int64_t ToInteger() const;   // rounds half to even, as Jet does
    bool ToBoolean() const;      // non-zero is true; "True"/"False"/"Yes"/"No"/"On"/"Off"
    double ToDate() const;       // numbers are day counts; text is parsed (DateConversion.h)
    std::string ToText() const;  // the text a Text field stores for this value

    // Text for people and for the engine shell: Null gives "", Boolean -1/0, dates as
    // "YYYY-MM-DD HH:MM:SS", singles and doubles in their shortest exact decimal form.
    std::string ToDisplayText() const;

    // Typed equality as Jet compares values: numbers (Boolean, Integer, Single, Double) by
    // numeric value, text exactly, dates by day count. Null equals nothing, not even Null.
    friend bool operator==(const Value& a, const Value& b);

  private:
    ValueKind kind_ = ValueKind::Null;
    std::variant<std::monostate, int64_t, double, std::string, std::vector<uint8_t>> data_;
};

}  // namespace platform
