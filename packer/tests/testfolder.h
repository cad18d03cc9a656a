// A temporary folder for one test, removed with everything in it at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

class TestFolder {
public:
    TestFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sitepack-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        m_path = pattern;
    }
    ~TestFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TestFolder(const TestFolder &) = delete;
    TestFolder &operator=(const TestFolder &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::string &relative) const { return m_path / relative; }

    void write(const std::string &relative, const std::string &content) const {
        const std::filesystem::path file = m_path / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << content;
    }
    void makeFolder(const std::string &relative) const {
        std::filesystem::create_directories(m_path / relative);
    }
    std::string read(const std::string &relative) const {
        std::ifstream in(m_path / relative, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool exists(const std::string &relative) const {
        return std::filesystem::exists(std::filesystem::symlink_status(m_path / relative));
    }
    // Names in a folder, hidden ones included: shows a temporary file left behind.
    std::set<std::string> names(const std::string &relative = ".") const {
        std::set<std::string> result;
        for (const auto &entry : std::filesystem::directory_iterator(m_path / relative)) {
            result.insert(entry.path().filename().string());
        }
        return result;
    }

private:
    std::filesystem::path m_path;
};
