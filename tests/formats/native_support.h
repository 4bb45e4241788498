#pragma once
// Helpers of the native-format tests: a scratch directory, files built byte by byte,
// and a load target that keeps the documents.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/ImageDoc.h"
#include "core/Messages.h"
#include "core/Numbers.h"

namespace native_test {

class TScratchDir {
public:
    TScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "morvane-native-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl + "/";
    }
    ~TScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

inline void PutFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string GetFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Lines joined with CR LF, each line ended.
inline std::string CrLf(std::initializer_list<std::string> lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

inline std::string IntBytes(const std::vector<int32_t>& v) {
    std::string out(v.size() * 4, '\0');
    for (size_t i = 0; i < v.size(); ++i) {
        const uint32_t w = static_cast<uint32_t>(v[i]);
        for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<char>((w >> (8 * b)) & 0xFF);
    }
    return out;
}

inline std::string FloatBytes(const std::vector<float>& v) {
    std::string out(v.size() * 4, '\0');
    for (size_t i = 0; i < v.size(); ++i) {
        uint32_t w;
        std::memcpy(&w, &v[i], 4);
        for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<char>((w >> (8 * b)) & 0xFF);
    }
    return out;
}

inline std::vector<int32_t> IntsOf(const std::string& bytes) {
    std::vector<int32_t> out(bytes.size() / 4);
    for (size_t i = 0; i < out.size(); ++i) {
        uint32_t w = 0;
        for (int b = 0; b < 4; ++b) w |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + b])) << (8 * b);
        out[i] = static_cast<int32_t>(w);
    }
    return out;
}

// A current-generation parameter file header (version 1.12 unless given).
inline std::string CurrentHeader(int cols, int rows, const std::string& version = "1.12") {
    return CrLf({";test scan", "Version : " + version, "XScanRange : 2000", "YScanRange : 1000",
                 "XPhysUnit : nm", "YPhysUnit : \xB5m", "xPixel : " + std::to_string(cols),
                 "yPixel : " + std::to_string(rows)});
}

inline std::string Block(const std::string& file, std::initializer_list<std::string> extra = {}) {
    std::string out = CrLf({"FileDescBegin", "FileName : " + file});
    for (const auto& l : extra) out += l + "\r\n";
    return out + CrLf({"FileDescEnd"});
}

// Keeps every document a load creates; records the calls.
class TKeepTarget : public TLoadTarget {
public:
    std::vector<std::unique_ptr<TImageDoc>> Docs;  // finished, in load order
    std::vector<std::string> Created;              // NewDocument names, in order
    int Discarded = 0;
    int ThrowOnNew = -1;  // NewDocument call number (0-based) that throws

    TImageDoc* NewDocument(const std::string& fileName) override {
        if (static_cast<int>(Created.size()) == ThrowOnNew) {
            Created.push_back(fileName);
            throw std::runtime_error("Too many data!");
        }
        Created.push_back(fileName);
        pending_ = std::make_unique<TImageDoc>();
        pending_->FileName = fileName;
        pending_->Title = fileName;
        return pending_.get();
    }
    void Finished(TImageDoc* doc) override {
        ASSERT_EQ(doc, pending_.get());
        doc->Picture.Render();
        Docs.push_back(std::move(pending_));
    }
    void Discard(TImageDoc* doc) override {
        ASSERT_EQ(doc, pending_.get());
        pending_.reset();
        ++Discarded;
    }

private:
    std::unique_ptr<TImageDoc> pending_;
};

// Records messages for the lifetime of a test, with "." as the decimal separator.
class TNativeTest : public ::testing::Test {
protected:
    TNativeTest() : scoped_(&sink) { SetDecimalSeparator('.'); }
    ~TNativeTest() override { SetDecimalSeparator('.'); }
    std::vector<std::string> Texts() const { return sink.Texts(); }
    TRecordingSink sink;
    TScratchDir dir;

private:
    TScopedMessageSink scoped_;
};

}  // namespace native_test
