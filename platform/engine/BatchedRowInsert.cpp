#include "platform/engine/BatchedRowInsert.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "platform/DateConversion.h"

namespace platform {

BatchedRowInsert::BatchedRowInsert(sqlite3* db, std::string into, size_t columns)
    : db_(db), into_(std::move(into)), columns_(std::max<size_t>(columns, 1)) {
    const auto variables =
        static_cast<size_t>(std::max(sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1), 1));
    rowsPerStatement_ = std::clamp<size_t>(variables / columns_, 1, 64);
    slots_.resize(rowsPerStatement_ * columns_);
}

void BatchedRowInsert::Add(const std::vector<WireValue>& row) {
    Slot* slot = &slots_[pending_ * columns_];
    const WireValue none;
    for (size_t i = 0; i < columns_; ++i, ++slot) {
        const WireValue& v = i < row.size() ? row[i] : none;
        slot->kind = v.kind;
        slot->integer = v.integer;
        slot->number = v.number;
        if (v.kind == ValueKind::Date) {
            char text[19];
            FormatStoredDate(v.number, text);
            slot->bytes.assign(text, sizeof text);
        } else if (v.kind == ValueKind::Text || v.kind == ValueKind::Binary) {
            slot->bytes.assign(v.bytes);
            pendingBytes_ += v.bytes.size();
        }
    }
    ++pending_;
    if (pending_ == rowsPerStatement_) {
        if (!full_) full_ = Statement(db_, Sql(rowsPerStatement_));
        Run(full_);
    } else if (pendingBytes_ >= kMostPendingBytes) {
        Finish();
    }
}

void BatchedRowInsert::Finish() {
    if (pending_ == 0) return;
    Statement rest(db_, Sql(pending_));
    Run(rest);
}

std::string BatchedRowInsert::Sql(size_t rows) const {
    std::string sql = "INSERT INTO " + into_ + " VALUES ";
    for (size_t r = 0; r < rows; ++r) {
        sql += r ? ",(" : "(";
        for (size_t i = 0; i < columns_; ++i) sql += i ? ",?" : "?";
        sql += ")";
    }
    return sql;
}

// Binds as BindValue binds the same Value, without a second copy of the texts: the slots stay
// as they are until the next batch.
void BatchedRowInsert::Run(Statement& insert) {
    const ConnectionMutexHold hold(insert.Handle());
    for (size_t n = 0; n < pending_ * columns_; ++n) {
        const Slot& slot = slots_[n];
        const int index = static_cast<int>(n + 1);
        switch (slot.kind) {
            case ValueKind::Null:
                insert.BindNull(index);
                break;
            case ValueKind::Boolean:
            case ValueKind::Integer:
                insert.BindInteger(index, slot.integer);
                break;
            case ValueKind::Single:
            case ValueKind::Double:
                insert.BindDouble(index, slot.number);
                break;
            case ValueKind::Date:
            case ValueKind::Text:
                insert.BindTextInPlace(index, slot.bytes);
                break;
            case ValueKind::Binary:
                insert.BindBlobInPlace(index, slot.bytes);
                break;
        }
    }
    pending_ = 0;
    pendingBytes_ = 0;
    insert.Step();
    insert.Reset();
}

}  // namespace platform
