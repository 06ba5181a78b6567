#include "platform/engine/BatchedRowInsert.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "platform/engine/FieldRules.h"

namespace platform {

BatchedRowInsert::BatchedRowInsert(sqlite3* db, std::string into, size_t columns)
    : db_(db), into_(std::move(into)), columns_(std::max<size_t>(columns, 1)) {
    const auto variables =
        static_cast<size_t>(std::max(sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1), 1));
    rowsPerStatement_ = std::clamp<size_t>(variables / columns_, 1, 64);
    slots_.resize(rowsPerStatement_ * columns_);
}

void BatchedRowInsert::Add(const std::vector<WireValue>& row) {
    Value* slot = &slots_[pending_ * columns_];
    for (size_t i = 0; i < columns_; ++i, ++slot) {
        if (i >= row.size()) {
            *slot = Value();
        } else if (row[i].kind == ValueKind::Text) {
            slot->SetText(row[i].bytes);
            pendingBytes_ += row[i].bytes.size();
        } else {
            *slot = row[i].ToValue();
            if (row[i].kind == ValueKind::Binary) pendingBytes_ += row[i].bytes.size();
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

void BatchedRowInsert::Run(Statement& insert) {
    const ConnectionMutexHold hold(insert.Handle());
    for (size_t n = 0; n < pending_ * columns_; ++n)
        BindValueInPlace(insert, static_cast<int>(n + 1), slots_[n]);
    pending_ = 0;
    pendingBytes_ = 0;
    insert.Step();
    insert.Reset();
}

}  // namespace platform
