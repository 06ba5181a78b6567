// Reads arbitrary text as a settings store file. Whatever it holds: reading never crashes,
// a rewrite keeps what was read, and a second rewrite changes nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    settings::RegistryFile file = settings::RegistryFile::Parse(text);
    const std::string key = "Software\\Sonavoxa\\RodividuZIDU";
    const settings::RegistryValue* before = file.Find(key, "SkinVersion");
    const settings::RegistryValue kept = before ? *before : settings::RegistryValue{};
    const bool had = before != nullptr;
    file.Set(key, "Fuzz", {settings::regtype::kSz, text.substr(0, 64)});
    const std::string once = file.Serialize();
    const settings::RegistryFile reread = settings::RegistryFile::Parse(once);
    const settings::RegistryValue* after = reread.Find(key, "SkinVersion");
    if (had && (!after || !(*after == kept))) std::abort();
    const settings::RegistryValue* fuzz = reread.Find(key, "Fuzz");
    if (!fuzz || fuzz->data != text.substr(0, 64)) std::abort();
    if (reread.Serialize() != once) std::abort();
    return 0;
}
