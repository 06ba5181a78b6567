// NamedList: an ordered collection of DAO objects looked up by name, letter case ignored.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "JetError.h"

namespace platform {

std::string LowerName(std::string_view name);

template <typename T>
class NamedList {
  public:
    size_t Count() const { return items_.size(); }
    T& operator[](size_t index) {
        if (index >= items_.size()) ThrowJetError(jet::kItemNotFound);
        return items_[index];
    }
    const T& operator[](size_t index) const {
        if (index >= items_.size()) ThrowJetError(jet::kItemNotFound);
        return items_[index];
    }
    // 3265 when absent.
    T& Item(std::string_view name) {
        if (T* item = Find(name)) return *item;
        ThrowJetError(jet::kItemNotFound);
    }
    T* Find(std::string_view name) {
        const std::string key = LowerName(name);
        for (T& item : items_)
            if (LowerName(item.Name()) == key) return &item;
        return nullptr;
    }
    // 3191 (fields) / 3375 style duplicates are the caller's to report: Append refuses a
    // name that is present with `duplicateError`.
    void Append(T item) {
        if (item.Name().empty()) ThrowJetError(jet::kInvalidArgument);
        if (Find(item.Name())) ThrowJetError(duplicateError_, item.Name());
        if (onAppend_) onAppend_(item);
        items_.push_back(std::move(item));
    }
    void Delete(std::string_view name) {
        const std::string key = LowerName(name);
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (LowerName(it->Name()) == key) {
                items_.erase(it);
                return;
            }
        }
        ThrowJetError(jet::kItemNotFound);
    }
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // For the owners: the error for a duplicate name, and a hook that runs before an item
    // is added (to create it in the database when the owner is stored there already).
    void SetDuplicateError(int number) { duplicateError_ = number; }
    void SetOnAppend(std::function<void(const T&)> hook) { onAppend_ = std::move(hook); }
    void AppendUnchecked(T item) { items_.push_back(std::move(item)); }

  private:
    std::vector<T> items_;
    int duplicateError_ = jet::kFieldDefinedTwice;
    std::function<void(const T&)> onAppend_;
};

}  // namespace platform
