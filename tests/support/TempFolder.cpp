#include "support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/UserFolders.h"
#include "platform/WideText.h"

TempFolder::TempFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path =
            JoinPath(TemporaryFolder(), L"zyntest." + std::to_wstring(random() % 1'000'000'000));
        if (MakeDirectory(path, 0700) == ERROR_SUCCESS) {
            m_path = path;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
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
