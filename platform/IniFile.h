// INI-file control: set file, read key, write key. Sections and keys keep
// their order of first writing; a key written again is replaced in place.
// No escaping of any kind: a value is everything after the first "=" of its
// line and is read back exactly as written (blanks, quotes, ';', ',' and
// backslashes included; nothing is stripped from a value). Section and key
// names match without regard to letter case. Lines are written with CR LF;
// CR LF and LF both read. Blanks around a section or key name are ignored
// on reading; lines starting with ';', lines without "=" and keys above the
// first section are skipped; of two equal keys in a section the first is
// read. Comments and blank lines of a read file are not kept by Save.
// A section, key or value that could not be read back as written (a line
// break anywhere, "]" in a section name, "=" in a key name, blanks around a
// name) is refused by WriteKey with "Invalid procedure call or argument".
#pragma once

#include <string>
#include <vector>

namespace rt {

class IniFile {
public:
    // Sets the file path and reads the file if it exists (a missing file is
    // an empty document). Raises a run-time error when the file exists but
    // cannot be read.
    void SetFile(const std::string& path);
    const std::string& FileName() const { return path_; }

    // The key's text, or "" when the section or key is missing.
    std::string ReadKey(const std::string& section, const std::string& key) const;
    bool HasKey(const std::string& section, const std::string& key) const;

    // Writes into the in-memory document (creating section and key as
    // needed). Nothing reaches the disk until Save.
    void WriteKey(const std::string& section, const std::string& key, const std::string& value);

    // Starts an empty document (the file itself is not touched).
    void Clear();

    // The document as file text, CR LF line ends.
    std::string Text() const;
    // Writes the document to `path` (the set file when empty). Raises the
    // run-time error matching the failure (Permission denied, Path not found,
    // Disk full, ...).
    void Save(const std::string& path = std::string()) const;

    // Parses file text (used by SetFile; public for tests).
    void Parse(const std::string& text);

private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;

    std::string path_;
    std::vector<Section> sections_;
};

}  // namespace rt
