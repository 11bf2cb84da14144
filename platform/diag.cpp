#include "platform/diag.h"

#include "platform/runtime.h"

Q_LOGGING_CATEGORY(lcDialogs, "nx.dialogs", QtWarningMsg)

namespace rt {

void LogIgnoredError(const QLoggingCategory& category, const std::exception& error) {
    if (!category.isDebugEnabled()) return;
    if (const auto* e = dynamic_cast<const RuntimeError*>(&error)) {
        qCDebug(category, "ignored error %d: %s", e->Number(), e->Description().c_str());
    } else {
        qCDebug(category, "ignored error: %s", error.what());
    }
}

std::string HexBytes(const void* data, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(size * 3);
    for (size_t i = 0; i < size; ++i) {
        if (i) out += ' ';
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 0x0F];
    }
    return out;
}

}  // namespace rt
