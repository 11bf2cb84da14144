#include "tests/support/TestFiles.h"

#include <fstream>
#include <sstream>

#include "platform/runtime.h"

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

int ErrorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const rt::RuntimeError& e) {
        return e.Number();
    }
    return 0;
}
