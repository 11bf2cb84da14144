#include "tests/support/CommaDecimalLocale.h"

#include <sys/wait.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

bool HasDecimalComma() { return std::strcmp(std::localeconv()->decimal_point, ",") == 0; }

bool TryInstalled() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name) != nullptr && HasDecimalComma()) return true;
    return false;
}

// de_DE.UTF-8 built once per test program into a folder of its own, which
// is removed when the program ends.
struct BuiltLocale {
    std::string folder;
    BuiltLocale() {
        std::string dir = (std::filesystem::temp_directory_path() / "nx_locale_XXXXXX").string();
        if (mkdtemp(dir.data()) == nullptr) return;
        folder = dir;
        const std::string cmd =
            "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
        const int rc = std::system(cmd.c_str());
        // localedef warns with exit code 1 and still writes the locale.
        built = rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) <= 1;
    }
    ~BuiltLocale() {
        std::error_code ec;
        if (!folder.empty()) std::filesystem::remove_all(folder, ec);
    }
    bool built = false;
};

bool TryBuilt() {
    static const BuiltLocale locale;
    if (!locale.built) return false;
    setenv("LOCPATH", locale.folder.c_str(), 1);
    return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr && HasDecimalComma();
}

}  // namespace

CommaDecimalLocale::CommaDecimalLocale() : old_(std::setlocale(LC_NUMERIC, nullptr)) {
    ok_ = TryInstalled() || TryBuilt();
}

CommaDecimalLocale::~CommaDecimalLocale() {
    std::setlocale(LC_NUMERIC, old_.c_str());
    unsetenv("LOCPATH");
}
