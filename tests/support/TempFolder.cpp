#include "support/TempFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/Path.h"
#include "platform/WideText.h"

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zyntest.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = Utf8ToWideLossy(pattern);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    const std::filesystem::path root(WideToUtf8(m_path));
    // Tests may leave folders without write permission behind; give it back first.
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(root, ignored);
}

std::wstring TempFolder::operator/(const std::wstring& name) const {
    return JoinPath(m_path, name);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(WideToUtf8(path), std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write test file");
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(WideToUtf8(path), std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read test file");
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
