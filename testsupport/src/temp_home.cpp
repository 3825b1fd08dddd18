#include "testsupport/temp_home.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace talvora::test {

TempDir::TempDir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string tmpl = (base / "talvora-test-XXXXXX").string();
    if (mkdtemp(tmpl.data())) path_ = tmpl;
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

TempHome::TempHome() {
    if (const char* xdg = getenv("XDG_CONFIG_HOME")) savedXdg_ = xdg;
    if (path().empty()) return;
    configHome_ = dir_ / "config";
    std::error_code ec;
    std::filesystem::create_directories(configHome_, ec);
    plat::SetModuleDirectory(path());
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
}

TempHome::~TempHome() {
    if (path().empty()) return;
    plat::SetModuleDirectory("");
    if (savedXdg_)
        setenv("XDG_CONFIG_HOME", savedXdg_->c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace talvora::test
