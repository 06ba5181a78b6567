#include "platform/jetsql/JetFunctions.h"

#include <sqlite3.h>

#include <utility>

#include "platform/JetError.h"
#include "platform/engine/JetTextOrder.h"
#include "platform/jetsql/JetFunctionSupport.h"

namespace platform {
namespace {

template <bool kLast>
void FirstLastStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto** slot = static_cast<sqlite3_value**>(
        sqlite3_aggregate_context(ctx, sizeof(sqlite3_value*) + sizeof(int)));
    if (!slot) return sqlite3_result_error_nomem(ctx);
    int* seen = reinterpret_cast<int*>(slot + 1);
    if (*seen && !kLast) return;
    sqlite3_value_free(*slot);
    *slot = sqlite3_value_dup(argv[0]);
    *seen = 1;
}

void FirstLastFinal(sqlite3_context* ctx) {
    auto** slot = static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, 0));
    if (!slot || !*slot) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, *slot);
    sqlite3_value_free(*slot);
    *slot = nullptr;
}

}  // namespace

void RegisterJetFunctions(sqlite3* db) {
    // A double-quoted name that names no column must be an error (Jet's "too few
    // parameters"), not the string SQLite would otherwise make of it.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);

    for (const auto& functions : {TextFunctions(), NumberFunctions(), DateFunctions()}) {
        for (const ScalarFunction& f : functions) {
            const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
            if (sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr,
                                           nullptr, nullptr) != SQLITE_OK)
                ThrowJetError(jet::kEngineFailure, sqlite3_errmsg(db));
        }
    }
    for (const auto& [name, step] : {std::pair{"jet_first", &FirstLastStep<false>},
                                     std::pair{"jet_last", &FirstLastStep<true>}}) {
        if (sqlite3_create_function_v2(db, name, 1, SQLITE_UTF8, nullptr, nullptr, step,
                                       FirstLastFinal, nullptr) != SQLITE_OK)
            ThrowJetError(jet::kEngineFailure, sqlite3_errmsg(db));
    }
    // Translated `like` compares prefixes in the text order of columns.
    JetTextOrder::Register(db);
}

}  // namespace platform
