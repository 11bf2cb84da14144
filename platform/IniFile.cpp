#include "platform/IniFile.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/runtime.h"

namespace rt {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

IniFile::Section* IniFile::FindSection(const std::string& name) {
    for (Section& s : sections_)
        if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(const std::string& name) const {
    for (const Section& s : sections_)
        if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
}

void IniFile::SetFile(const std::string& path) {
    path_ = path;
    sections_.clear();
    errno = 0;
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        // A missing file (or one under a path that is no folder) is an
        // empty document.
        if (errno == ENOENT || errno == ENOTDIR) return;
        Raise(ErrorNumberFromErrno(errno));
    }
    std::string text;
    char buf[8192];
    for (;;) {
        const size_t n = std::fread(buf, 1, sizeof buf, f.get());
        text.append(buf, n);
        if (n < sizeof buf) break;
    }
    if (std::ferror(f.get())) {
        const int err = errno;
        // Reading a folder fails with EISDIR, which has no closer match.
        Raise(err == EISDIR || err == 0 ? ErrPathFileAccess : ErrorNumberFromErrno(err));
    }
    Parse(text);
}

void IniFile::Parse(const std::string& text) {
    sections_.clear();
    std::string_view rest(text);
    // A UTF-8 byte-order mark written by some editors is not part of the text.
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);

    Section* current = nullptr;
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        const std::string_view trimmed = TrimBlanks(line);
        if (trimmed.empty() || trimmed.front() == ';') continue;
        if (trimmed.front() == '[') {
            const size_t close = trimmed.find(']');
            if (close == std::string_view::npos) {
                current = nullptr;  // a broken header: its keys belong nowhere
                continue;
            }
            const std::string name(TrimBlanks(trimmed.substr(1, close - 1)));
            current = FindSection(name);
            if (!current) {
                sections_.push_back(Section{name, {}});
                current = &sections_.back();
            }
            continue;
        }
        if (!current) continue;  // keys above the first section are unreachable
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string key(TrimBlanks(line.substr(0, eq)));
        if (key.empty()) continue;
        bool seen = false;
        for (const Entry& e : current->entries) seen = seen || EqualsNoCase(e.key, key);
        if (seen) continue;  // the first of two equal keys is the one read
        current->entries.push_back(Entry{key, std::string(line.substr(eq + 1))});
    }
}

std::string IniFile::ReadKey(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    if (!s) return std::string();
    for (const Entry& e : s->entries)
        if (EqualsNoCase(e.key, key)) return e.value;
    return std::string();
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    if (!s) return false;
    for (const Entry& e : s->entries)
        if (EqualsNoCase(e.key, key)) return true;
    return false;
}

void IniFile::WriteKey(const std::string& section, const std::string& key,
                       const std::string& value) {
    // Text that would not read back as the same section, key and value is
    // refused rather than written into a file it would break.
    const std::string_view sec = TrimBlanks(section);
    const std::string_view k = TrimBlanks(key);
    if (sec.empty() || sec.size() != section.size() || HasLineBreak(section) ||
        section.find(']') != std::string::npos || k.empty() || k.size() != key.size() ||
        HasLineBreak(key) || key.find('=') != std::string::npos || key.front() == '[' ||
        key.front() == ';' || HasLineBreak(value)) {
        Raise(ErrInvalidProcedureCall);
    }
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back(Section{section, {}});
        s = &sections_.back();
    }
    for (Entry& e : s->entries) {
        if (EqualsNoCase(e.key, key)) {
            e.value = value;
            return;
        }
    }
    s->entries.push_back(Entry{key, value});
}

void IniFile::Clear() { sections_.clear(); }

std::string IniFile::Text() const {
    std::string out;
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += '[';
        out += sections_[i].name;
        out += "]\r\n";
        for (const Entry& e : sections_[i].entries) {
            out += e.key;
            out += '=';
            out += e.value;
            out += "\r\n";
        }
    }
    return out;
}

void IniFile::Save(const std::string& path) const {
    const std::string& target = path.empty() ? path_ : path;
    if (target.empty()) Raise(ErrBadFileName);
    const std::string text = Text();
    errno = 0;
    FilePtr f(std::fopen(target.c_str(), "wb"));
    if (!f) {
        const int err = errno;
        // Creating a file fails with ENOENT only when its folder is missing.
        Raise(err == ENOENT ? ErrPathNotFound : ErrorNumberFromErrno(err));
    }
    errno = 0;
    const size_t written = std::fwrite(text.data(), 1, text.size(), f.get());
    int err = written == text.size() ? 0 : (errno ? errno : EIO);
    if (std::fflush(f.get()) != 0 && err == 0) err = errno ? errno : EIO;
    if (std::fclose(f.release()) != 0 && err == 0) err = errno ? errno : EIO;
    if (err != 0) Raise(ErrorNumberFromErrno(err));
}

}  // namespace rt
