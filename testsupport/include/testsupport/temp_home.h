// Temporary directories for tests, and a temporary home: the program's module
// directory and $XDG_CONFIG_HOME point into a fresh directory for the lifetime
// of the object, so a test never reads or writes the files of the person
// running it.
#pragma once

#include <optional>
#include <string>

namespace talvora::test {

// A fresh directory under the system's temporary folder, removed with all its
// contents at the end. path() is empty when it could not be created.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Module directory = path(), XDG_CONFIG_HOME = configHome() (path()/config,
// created). On destruction XDG_CONFIG_HOME comes back as it was (set or unset)
// and the module directory override is cleared (plat cannot report an earlier
// override, so homes do not nest).
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return dir_.path(); }
    const std::string& configHome() const { return configHome_; }
    std::string operator/(const std::string& name) const { return dir_ / name; }

private:
    TempDir dir_;
    std::string configHome_;
    std::optional<std::string> savedXdg_;
};

}  // namespace talvora::test
