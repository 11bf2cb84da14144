// Small helpers that several test programs share: whole files read and
// written as bytes (to compare what a program saved with a golden file, or to
// hand it a file to load), and the number of the run-time error a call
// raises.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

// The whole file as bytes; "" when it cannot be read.
std::string ReadAll(const std::filesystem::path& p);
// Replaces the file's content by `text`, byte for byte.
void WriteAll(const std::filesystem::path& p, const std::string& text);

// The number of the rt::RuntimeError that `f` raises, 0 when it raises none.
int ErrorNumberOf(const std::function<void()>& f);
