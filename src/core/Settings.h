#pragma once
// The settings file "morvane.ini": sections in square brackets, key=value lines,
// names compared without regard to case, booleans as 0/1. Every write reaches the
// file at once.
//
// Location: MORVANE_INI when set; otherwise "morvane.ini" beside the executable; where
// that folder or file is not writable, $XDG_CONFIG_HOME/morvane/morvane.ini (or
// ~/.config/morvane/morvane.ini), seeded from the file beside the executable so that
// no setting is lost.
#include <memory>
#include <string>
#include <vector>

class TSettings {
public:
    explicit TSettings(const std::string& fileName);
    ~TSettings();
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    // The path chosen by the rules above for an executable in exeDir.
    static std::string DefaultPath(const std::string& exeDir);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    double ReadFloat(const std::string& section, const std::string& key, double def) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    std::vector<std::string> ReadSection(const std::string& section) const;  // key names

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteFloat(const std::string& section, const std::string& key, double value);
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);

    // False after a write that could not reach the file (the value is kept in memory).
    bool LastWriteOk() const { return lastWriteOk_; }

private:
    void Save();
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string fileName_;
    bool lastWriteOk_ = true;
};
