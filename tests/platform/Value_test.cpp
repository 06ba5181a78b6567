#include "platform/Value.h"

#include <gtest/gtest.h>

#include "platform/DateConversion.h"
#include "platform/JetError.h"
#include "platform/engine/FieldRules.h"

using namespace platform;

namespace {

FieldDescription MakeField(int type, int32_t size = 0, bool allowZeroLength = true) {
    FieldDescription f;
    f.Name = "f";
    f.Type = type;
    f.Size = size ? size : DefaultFieldSize(type);
    f.AllowZeroLength = allowZeroLength;
    return f;
}

int RefusalOf(const FieldDescription& field, const Value& v) {
    try {
        ConvertForField(field, v);
    } catch (const JetError& e) {
        return e.Number();
    }
    return 0;
}

}  // namespace

TEST(DateConversion, RoundTripsJetDayCounts) {
    struct Case {
        double ole;
        const char* text;
    } cases[] = {
        {0.0, "1899-12-30 00:00:00"},       {1.0, "1899-12-31 00:00:00"},
        {-1.25, "1899-12-29 06:00:00"},     {38414.999988425924, "2005-03-03 23:59:59"},
        {38415.0, "2005-03-04 00:00:00"},   {2958465.0, "9999-12-31 00:00:00"},
        {-657434.0, "0100-01-01 00:00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatStoredDate(c.ole), c.text) << c.ole;
        auto parsed = ParseDateText(c.text);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_NEAR(*parsed, c.ole, 1e-9) << c.text;
    }
}

TEST(Value, RefusesWhatAFieldCannotHold) {
    struct Case {
        FieldDescription field;
        Value value;
        int error;
    } cases[] = {
        {MakeField(dbByte), Value::FromInteger(256), jet::kTypeConversion},
        {MakeField(dbInteger), Value::FromInteger(32768), jet::kTypeConversion},
        {MakeField(dbLong), Value::FromDouble(3e9), jet::kTypeConversion},
        {MakeField(dbLong), Value::FromText(""), jet::kTypeConversion},
        {MakeField(dbDouble), Value::FromText("1,5x"), jet::kTypeConversion},
        {MakeField(dbDate), Value::FromText("gestern"), jet::kTypeConversion},
        {MakeField(dbBoolean), Value::FromText("vielleicht"), jet::kTypeConversion},
        {MakeField(dbText, 3), Value::FromText("abcd"), jet::kFieldTooSmall},
        {MakeField(dbText, 50, false), Value::FromText(""), jet::kZeroLengthString},
        {MakeField(dbMemo, 0, false), Value::FromText(""), jet::kZeroLengthString},
    };
    for (const auto& c : cases) EXPECT_EQ(RefusalOf(c.field, c.value), c.error) << c.value.ToText();
    // Sizes count characters, not bytes: three umlauts fit a Text(3).
    EXPECT_EQ(RefusalOf(MakeField(dbText, 3), Value::FromText("äöü")), 0);
}

TEST(Value, ComparesTypedValuesLikeJet) {
    EXPECT_TRUE(Value::FromInteger(3) == Value::FromDouble(3.0));
    EXPECT_TRUE(Value::FromBoolean(true) == Value::FromInteger(-1));
    EXPECT_FALSE(Value::FromText("3") == Value::FromInteger(3));
    EXPECT_FALSE(Value() == Value());
    EXPECT_EQ(Value::FromSingle(99.9f).ToDisplayText(), "99.9");
}
