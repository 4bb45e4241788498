// The settings file, on SimpleIni. Every write saves the whole file at once, through a
// temporary file beside it that replaces the old one, so that an interrupted save
// never leaves half a file behind.
#include "core/Settings.h"

#include "core/Errors.h"
#include "core/Files.h"

// Plain 8-bit text (Latin-1): no character conversion.
#define SI_NO_CONVERSION
// The packaged header keeps the template bodies behind SI_IMPLEMENTATION.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Errors.h"
#include "core/Files.h"
#include "core/Numbers.h"

namespace fs = std::filesystem;

struct TSettings::Impl {
    // CSimpleIniA compares section and key names without regard to case
    // (CSimpleIniCaseA would compare them exactly).
    CSimpleIniA Ini{false, false, false};
};

namespace {

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// The number with '.' as decimal mark, whatever the user's separator: short when
// that reads back exactly, else with 17 digits.
std::string FloatText(double value)
{
    const char sep = DecimalSeparator();
    SetDecimalSeparator('.');
    std::string s = FormatGeneral(value, 15);
    long double back = 0;
    if (!TryStrToFloat(s, back) || static_cast<double>(back) != value) s = FormatGeneral(value, 17);
    SetDecimalSeparator(sep);
    return s;
}

bool WritableFolder(const fs::path& dir)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

TSettings::TSettings(const std::string& fileName) : impl_(std::make_unique<Impl>()), fileName_(fileName)
{
    impl_->Ini.SetUnicode(false);
    impl_->Ini.SetSpaces(false);
    impl_->Ini.SetMultiKey(false);
    impl_->Ini.SetMultiLine(false);
    if (!fileName_.empty()) impl_->Ini.LoadFile(fileName_.c_str());  // a missing file is an empty one
}

TSettings::~TSettings() = default;

std::string TSettings::DefaultPath(const std::string& exeDir)
{
    if (const char* env = std::getenv("MORVANE_INI"); env && *env) return env;

    const fs::path dir = exeDir.empty() ? fs::path(".") : fs::path(exeDir);
    const fs::path beside = dir / "morvane.ini";
    std::error_code ec;
    const bool besideExists = fs::exists(beside, ec);
    // The file is replaced through a temporary file in its folder, so the folder must be
    // writable as well as the file.
    if (WritableFolder(dir) && (!besideExists || ::access(beside.c_str(), W_OK) == 0)) return beside.string();

    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".config";
    else
        return beside.string();
    const fs::path cfgDir = base / "morvane";
    fs::create_directories(cfgDir, ec);
    const fs::path target = cfgDir / "morvane.ini";
    if (!fs::exists(target, ec) && besideExists) fs::copy_file(beside, target, ec);  // keep the user's settings
    return target.string();
}

std::string TSettings::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    const char* v = impl_->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? std::string(v) : def;
}

int TSettings::ReadInteger(const std::string& section, const std::string& key, int def) const
{
    const char* v = impl_->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
    int r = 0;
    return (v && TryStrToInt(v, r)) ? r : def;
}

bool TSettings::ReadBool(const std::string& section, const std::string& key, bool def) const
{
    const char* v = impl_->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (!v) return def;
    std::string s = Trim(v);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (s == "true") return true;
    if (s == "false") return false;
    int r = 0;
    return TryStrToInt(s, r) ? r != 0 : def;
}

double TSettings::ReadFloat(const std::string& section, const std::string& key, double def) const
{
    const char* v = impl_->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (!v) return def;
    try {
        return static_cast<double>(StrToFloatTolerant(v));
    } catch (const EConvertError&) {
        return def;
    }
}

bool TSettings::ValueExists(const std::string& section, const std::string& key) const
{
    return impl_->Ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

std::vector<std::string> TSettings::ReadSection(const std::string& section) const
{
    CSimpleIniA::TNamesDepend keys;
    impl_->Ini.GetAllKeys(section.c_str(), keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& k : keys) out.emplace_back(k.pItem);
    return out;
}

void TSettings::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    impl_->Ini.SetValue(section.c_str(), key.c_str(), value.c_str());
    Save();
}

void TSettings::WriteInteger(const std::string& section, const std::string& key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TSettings::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TSettings::WriteFloat(const std::string& section, const std::string& key, double value)
{
    WriteString(section, key, FloatText(value));
}

void TSettings::EraseSection(const std::string& section)
{
    impl_->Ini.Delete(section.c_str(), nullptr);
    Save();
}

void TSettings::DeleteKey(const std::string& section, const std::string& key)
{
    impl_->Ini.Delete(section.c_str(), key.c_str());
    Save();
}

void TSettings::Save()
{
    lastWriteOk_ = false;
    if (fileName_.empty()) return;
    std::string text;
    if (impl_->Ini.Save(text) < 0) return;

    const fs::path target(fileName_);
    // a folder that does not exist yet is created, so the settings are kept
    if (!target.parent_path().empty()) {
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
    }
    // a temporary file renamed over the old one, with its permissions: a failed write
    // leaves the old settings whole
    try {
        WriteFileReplacing(fileName_, text);
    } catch (const EInOutError&) {
        return;
    }
    lastWriteOk_ = true;
}
