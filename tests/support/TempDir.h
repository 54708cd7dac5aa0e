#pragma once
// A scratch folder for one test, removed with everything in it afterwards.
// WorkIn also makes it the current folder for the test's lifetime (log files
// and the default database folder are relative to it).

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orva-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~TempDir()
    {
        if (!previous_.empty())
            std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

    void WorkIn()
    {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// Sets (or, with nullptr, removes) an environment variable for the lifetime
// of the object, then puts the old state back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            hadOld_ = true;
            old_ = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv()
    {
        if (hadOld_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool hadOld_ = false;
    std::string old_;
};
