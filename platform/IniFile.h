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
// Only a line feed ends a line (with the one CR before it), so a lone CR is
// ordinary text: what a read gives, a write puts back and the next read gives
// again. A section, key or value that could not be read back as written (a
// line feed anywhere, "]" in a section name, "=" in a key name, blanks
// around a name) is refused by WriteKey with "Invalid procedure call or
// argument". Sections and keys are found through hash indexes, so reading a
// file takes time in proportion to its size.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
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
    // Hash and equality of names without regard to ASCII letter case.
    struct NoCaseHash {
        size_t operator()(const std::string& s) const;
    };
    struct NoCaseEqual {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using NameIndex = std::unordered_map<std::string, size_t, NoCaseHash, NoCaseEqual>;

    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;  // in file order
        NameIndex index;             // key -> position in entries
    };
    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;
    // The section of that name, created at the end when there is none.
    Section& SectionNamed(const std::string& name);
    static const Entry* FindEntry(const Section& s, const std::string& key);

    std::string path_;
    std::vector<Section> sections_;  // in file order
    NameIndex sectionIndex_;         // name -> position in sections_
};

}  // namespace rt
