// Diagnostics: each library logs through a category of its own, quiet by
// default apart from warnings (QT_LOGGING_RULES switches them on, see the
// README). Errors that a handler ignores on purpose go through
// IgnoringErrors, so that each one still leaves a debug line.
#pragma once

#include <QLoggingCategory>
#include <exception>
#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcDialogs)  // "nx.dialogs": every dialog shown and its answer

namespace rt {

// Writes "ignored error <number>: <text>" (or the exception's text) to the
// category's debug channel.
void LogIgnoredError(const QLoggingCategory& category, const std::exception& error);

// Runs one step of a handler whose errors are ignored: an error ends the
// step, leaves a debug line, and the caller goes on with its next step.
template <typename F>
void IgnoringErrors(const QLoggingCategory& category, F&& step) {
    try {
        step();
    } catch (const std::exception& e) {
        LogIgnoredError(category, e);
    }
}

// Bytes as spaced hexadecimal ("00 60 13 88") for frame logs.
std::string HexBytes(const void* data, size_t size);

}  // namespace rt
