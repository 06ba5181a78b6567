#include "platform/TableDescription.h"

namespace platform {

int32_t DefaultFieldSize(int type) {
    switch (type) {
        case dbBoolean:
            return 1;
        case dbByte:
            return 1;
        case dbInteger:
            return 2;
        case dbLong:
            return 4;
        case dbCurrency:
            return 8;
        case dbSingle:
            return 4;
        case dbDouble:
            return 8;
        case dbDate:
            return 8;
        case dbBinary:
            return 255;
        case dbText:
            return 255;
        case dbGUID:
            return 16;
        default:
            return 0;  // Memo, LongBinary
    }
}

bool IsKnownFieldType(int type) { return (type >= dbBoolean && type <= dbMemo) || type == dbGUID; }

const char* JetTypeName(int type) {
    switch (type) {
        case dbBoolean:
            return "YESNO";
        case dbByte:
            return "BYTE";
        case dbInteger:
            return "SHORT";
        case dbLong:
            return "LONG";
        case dbCurrency:
            return "CURRENCY";
        case dbSingle:
            return "SINGLE";
        case dbDouble:
            return "DOUBLE";
        case dbDate:
            return "DATETIME";
        case dbBinary:
            return "BINARY";
        case dbText:
            return "TEXT";
        case dbLongBinary:
            return "LONGBINARY";
        case dbMemo:
            return "MEMO";
        case dbGUID:
            return "GUID";
        default:
            return "TEXT";
    }
}

}  // namespace platform
