#include "platform/Recordset.h"

#include "platform/JetError.h"
#include "platform/engine/FieldRules.h"
#include "platform/engine/OpenDatabaseState.h"
#include "platform/engine/RecordsetCursor.h"

namespace platform {

// --- Field --------------------------------------------------------------------------------

Value Field::Value() const {
    if (!owner_) ThrowJetError(jet::kInvalidOperation);
    return owner_->FieldValue(column_);
}

void Field::SetValue(platform::Value v) {
    if (!owner_) ThrowJetError(jet::kInvalidOperation);
    owner_->SetFieldValue(column_, std::move(v));
}

Field& FieldCollection::Item(std::string_view name) {
    const std::string key = LowerName(name);
    for (Field& f : *fields_)
        if (LowerName(f.Name()) == key) return f;
    ThrowJetError(jet::kItemNotFound);
}

// --- Recordset ----------------------------------------------------------------------------

Recordset::~Recordset() { Close(); }
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&& other) noexcept {
    if (this != &other) {
        Close();
        state_ = std::move(other.state_);
    }
    return *this;
}

RecordsetCursor& Recordset::State() const {
    if (!state_ || !state_->open) ThrowJetError(jet::kObjectInvalid);
    return *state_;
}

bool Recordset::Eof() const { return State().eof; }
void Recordset::MoveNext() { State().Advance(); }
FieldCollection Recordset::Fields() { return FieldCollection(&State().fields); }
Field& Recordset::operator[](std::string_view name) {
    RecordsetCursor& s = State();
    return s.fields[s.FieldPosition(name)];
}
bool Recordset::Updatable() const {
    const RecordsetCursor& s = State();
    return s.target && !s.snapshot && !s.db->readOnly && !s.target->attachment->ReadOnly();
}
void Recordset::AddNew() { State().AddNew(); }
void Recordset::Edit() { State().Edit(); }
void Recordset::Update() { State().Update(); }
void Recordset::CancelUpdate() { State().mode = RecordsetCursor::Mode::None; }
bool Recordset::IsOpen() const { return state_ && state_->open; }

void Recordset::Close() {
    // The state stays, closed, so that fields the caller still refers to answer 3420.
    if (state_) state_->Close();
}

}  // namespace platform
