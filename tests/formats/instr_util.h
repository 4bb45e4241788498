#pragma once
// Helpers of the instrument-format tests: byte builders, a scratch folder, a load
// target that keeps its documents, and a recording message sink.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/ImageDoc.h"
#include "core/Messages.h"
#include "core/Numbers.h"

namespace instr_test {

// Little- and big-endian byte builder.
class TBytes {
public:
    TBytes& U8(uint8_t v) { s_.push_back(static_cast<char>(v)); return *this; }
    TBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    TBytes& U16BE(uint16_t v) { return U8(v >> 8).U8(v & 0xFF); }
    TBytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    TBytes& F32(float f) { uint32_t b; std::memcpy(&b, &f, 4); return U32(b); }
    TBytes& Raw(const std::string& t) { s_ += t; return *this; }
    TBytes& Zeros(size_t n) { s_.append(n, '\0'); return *this; }
    // Writes v at byte offset at (growing the buffer with zeros as needed).
    TBytes& PutU32(size_t at, uint32_t v) { Grow(at + 4); for (int i = 0; i < 4; ++i) s_[at + i] = static_cast<char>(v >> (8 * i)); return *this; }
    TBytes& PutF32(size_t at, float f) { uint32_t b; std::memcpy(&b, &f, 4); return PutU32(at, b); }
    TBytes& PutText(size_t at, const std::string& t) { Grow(at + t.size()); s_.replace(at, t.size(), t); return *this; }
    void Grow(size_t n) { if (s_.size() < n) s_.resize(n, '\0'); }
    const std::string& Str() const { return s_; }

private:
    std::string s_;
};

// A fresh folder per test, removed afterwards.
class TScratch {
public:
    TScratch()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "morvane-instr-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        dir_ = mkdtemp(buf.data());
    }
    ~TScratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string p = Path(name);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
};

inline std::string ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Keeps every document; Finished renders like the windows do.
class TKeepTarget : public TLoadTarget {
public:
    std::vector<std::unique_ptr<TImageDoc>> Docs;  // finished, in order
    std::vector<std::string> Requested;            // file names asked for
    int Discarded = 0;
    int Limit = 1000;  // more documents than this: NewDocument throws

    TImageDoc* NewDocument(const std::string& fileName) override
    {
        if (static_cast<int>(Requested.size()) >= Limit) throw EAbort("Too many data!");
        Requested.push_back(fileName);
        pending_.push_back(std::make_unique<TImageDoc>());
        pending_.back()->Title = fileName;
        return pending_.back().get();
    }
    void Finished(TImageDoc* doc) override
    {
        doc->Picture.Render();
        Docs.push_back(Take(doc));
    }
    void Discard(TImageDoc* doc) override
    {
        Take(doc);
        ++Discarded;
    }

private:
    std::unique_ptr<TImageDoc> Take(TImageDoc* doc)
    {
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (it->get() == doc) {
                auto owned = std::move(*it);
                pending_.erase(it);
                return owned;
            }
        ADD_FAILURE() << "document handed back twice or unknown";
        return nullptr;
    }
    std::vector<std::unique_ptr<TImageDoc>> pending_;
};

// Records messages for the duration of a test, with "." as decimal separator.
class TInstrTest : public ::testing::Test {
protected:
    TInstrTest() : scoped_(&sink) { SetDecimalSeparator('.'); }
    std::vector<std::string> Texts() const { return sink.Texts(); }

    TRecordingSink sink;
    TScratch scratch;

private:
    TScopedMessageSink scoped_;
};

}  // namespace instr_test
