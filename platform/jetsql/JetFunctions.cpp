#include "platform/jetsql/JetFunctions.h"

#include <sqlite3.h>

#include <cmath>
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

// Sum: Currency is stored as a real rounded to four places, and a sum of such reals in binary
// floating point drifts (0.1 + 0.2 + 0.3 gives 0.6000000000000001). As long as every value has
// at most four places, they are summed as whole ten-thousandths, exactly as Jet's Currency;
// a value with more places makes the rest of the sum a plain one. Whole numbers stay whole.
struct Sum {
    long long tenThousandths;  // while `exact`
    long long whole;           // while `allWhole`
    double plain;
    bool any, started, inexact, notWhole;
};

void SumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* s = static_cast<Sum*>(sqlite3_aggregate_context(ctx, sizeof(Sum)));
    if (!s) return sqlite3_result_error_nomem(ctx);
    if (IsNull(argv[0])) return;
    const auto x = NumberOf(argv[0]);
    if (!x) return sqlite3_result_error(ctx, kMismatch.message, -1);
    s->any = true;
    s->plain += *x;
    if (!s->notWhole && sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
        if (__builtin_add_overflow(s->whole, sqlite3_value_int64(argv[0]), &s->whole))
            s->notWhole = true;
    } else {
        s->notWhole = true;
    }
    long long scaled = 0;
    if (s->inexact || !HasFourPlaces(*x, scaled) ||
        __builtin_add_overflow(s->tenThousandths, scaled, &s->tenThousandths))
        s->inexact = true;
}

void SumFinal(sqlite3_context* ctx) {
    auto* s = static_cast<Sum*>(sqlite3_aggregate_context(ctx, 0));
    if (!s || !s->any) return sqlite3_result_null(ctx);
    if (!s->notWhole) return sqlite3_result_int64(ctx, s->whole);
    if (!s->inexact)
        return sqlite3_result_double(ctx, static_cast<double>(s->tenThousandths) / 10000.0);
    sqlite3_result_double(ctx, s->plain);
}

// StDev, StDevP, Var and VarP over the values that are not Null, by Welford's running mean,
// which keeps its precision where the sum of squares would cancel.
struct Spread {
    long long count;
    double mean;
    double squares;  // the sum of squared differences from the mean
};

void SpreadStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, sizeof(Spread)));
    if (!s) return sqlite3_result_error_nomem(ctx);
    if (IsNull(argv[0])) return;
    const auto x = NumberOf(argv[0]);
    if (!x) return sqlite3_result_error(ctx, kMismatch.message, -1);
    ++s->count;
    const double delta = *x - s->mean;
    s->mean += delta / static_cast<double>(s->count);
    s->squares += delta * (*x - s->mean);
}

// kSample: divided by n - 1 (StDev, Var), else by n (StDevP, VarP).
template <bool kSample, bool kRoot>
void SpreadFinal(sqlite3_context* ctx) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, 0));
    const long long n = s ? s->count : 0;
    if (n < (kSample ? 2 : 1)) return sqlite3_result_null(ctx);
    const double variance = s->squares / static_cast<double>(kSample ? n - 1 : n);
    sqlite3_result_double(ctx, kRoot ? std::sqrt(variance) : variance);
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
    if (sqlite3_create_function_v2(db, "jet_sum", 1, SQLITE_UTF8, nullptr, nullptr, SumStep,
                                   SumFinal, nullptr) != SQLITE_OK)
        ThrowJetError(jet::kEngineFailure, sqlite3_errmsg(db));
    for (const auto& [name, finish] : {std::pair{"jet_stdev", &SpreadFinal<true, true>},
                                       std::pair{"jet_stdevp", &SpreadFinal<false, true>},
                                       std::pair{"jet_var", &SpreadFinal<true, false>},
                                       std::pair{"jet_varp", &SpreadFinal<false, false>}}) {
        if (sqlite3_create_function_v2(db, name, 1, SQLITE_UTF8, nullptr, nullptr, SpreadStep,
                                       finish, nullptr) != SQLITE_OK)
            ThrowJetError(jet::kEngineFailure, sqlite3_errmsg(db));
    }
    // Translated `like` compares prefixes in the text order of columns.
    JetTextOrder::Register(db);
}

}  // namespace platform
