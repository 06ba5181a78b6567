// Reads arbitrary bytes as a Jet file with the libmdb reader itself, in this process, and
// walks every table's rows. The engine runs that reader in a child process, where a crash
// would only fail the file; here a crash or hang is found. Damaged files must end in a
// JetError.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/JetError.h"
#include "platform/jetfile/MdbFileReader.h"

// libmdb prints hex dumps of pages it cannot parse to standard output; the engine sends them
// nowhere, and so does the fuzzer (its own reports go to standard error).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::perror("stdout");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        char folder[] = "/tmp/sonavoxa-fuzz-XXXXXX";
        return std::string(mkdtemp(folder)) + "/input.mdb";
    }();
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    try {
        platform::MdbFileReader reader(path);
        for (const platform::TableDescription& table : reader.Tables()) {
            reader.ReadRows(table.Name, [](const std::vector<platform::Value>& row) {
                for (const platform::Value& value : row) (void)value.ToDisplayText();
            });
        }
    } catch (const platform::JetError&) {
    }
    return 0;
}
