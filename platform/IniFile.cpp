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

// Only a line feed ends a line; a lone CR reads back as part of the text.
bool HasLineFeed(std::string_view s) { return s.find('\n') != std::string_view::npos; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

size_t IniFile::NoCaseHash::operator()(const std::string& s) const {
    // FNV-1a over the lower-case letters.
    size_t h = 14695981039346656037ull;
    for (char c : s) {
        h ^= static_cast<unsigned char>(LowerAscii(c));
        h *= 1099511628211ull;
    }
    return h;
}

bool IniFile::NoCaseEqual::operator()(const std::string& a, const std::string& b) const {
    return EqualsNoCase(a, b);
}

IniFile::Section* IniFile::FindSection(const std::string& name) {
    const auto it = sectionIndex_.find(name);
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

const IniFile::Section* IniFile::FindSection(const std::string& name) const {
    const auto it = sectionIndex_.find(name);
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section& IniFile::SectionNamed(const std::string& name) {
    const auto [it, added] = sectionIndex_.try_emplace(name, sections_.size());
    if (added) sections_.push_back(Section{name, {}, {}});
    return sections_[it->second];
}

const IniFile::Entry* IniFile::FindEntry(const Section& s, const std::string& key) {
    const auto it = s.index.find(key);
    return it == s.index.end() ? nullptr : &s.entries[it->second];
}

void IniFile::SetFile(const std::string& path) {
    path_ = path;
    Clear();
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
    Clear();
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
            current = &SectionNamed(std::string(TrimBlanks(trimmed.substr(1, close - 1))));
            continue;
        }
        if (!current) continue;  // keys above the first section are unreachable
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string key(TrimBlanks(line.substr(0, eq)));
        if (key.empty()) continue;
        // The first of two equal keys is the one read.
        if (!current->index.try_emplace(key, current->entries.size()).second) continue;
        current->entries.push_back(Entry{std::move(key), std::string(line.substr(eq + 1))});
    }
}

std::string IniFile::ReadKey(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    const Entry* e = s ? FindEntry(*s, key) : nullptr;
    return e ? e->value : std::string();
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    return s && FindEntry(*s, key);
}

void IniFile::WriteKey(const std::string& section, const std::string& key,
                       const std::string& value) {
    // Text that would not read back as the same section, key and value is
    // refused rather than written into a file it would break.
    const std::string_view sec = TrimBlanks(section);
    const std::string_view k = TrimBlanks(key);
    if (sec.empty() || sec.size() != section.size() || HasLineFeed(section) ||
        section.find(']') != std::string::npos || k.empty() || k.size() != key.size() ||
        HasLineFeed(key) || key.find('=') != std::string::npos || key.front() == '[' ||
        key.front() == ';' || HasLineFeed(value)) {
        Raise(ErrInvalidProcedureCall);
    }
    Section& s = SectionNamed(section);
    const auto [it, added] = s.index.try_emplace(key, s.entries.size());
    if (added) {
        s.entries.push_back(Entry{key, value});
    } else {
        s.entries[it->second].value = value;
    }
}

void IniFile::Clear() {
    sections_.clear();
    sectionIndex_.clear();
}

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
