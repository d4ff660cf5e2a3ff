#include "engine_provider.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "base/failure.h"
#include "engine_objects.h"
#include "workbook.h"

namespace qf::engine {

namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: a quoted "$HOME/..." or absolute path.
// Empty when absent, malformed, or set to the home folder itself (which means
// the folder is disabled).
std::string documentsFromUserDirs(const std::string& file, const std::string& home) {
    std::ifstream in(file);
    std::string line, found;
    while (std::getline(in, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(start, key.size(), key) != 0) continue;
        std::string value = line.substr(start + key.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) value.pop_back();
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            value = home + value.substr(5);
        else if (value.empty() || value.front() != '/')
            continue;
        found = withoutTrailingSlash(value);  // the last assignment counts
    }
    return found == withoutTrailingSlash(home) ? std::string() : found;
}

}  // namespace

std::string userDocumentsFolder() {
    const std::string home = homeFolder();
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') config = xdg;
    else config = home + "/.config";
    std::string documents = documentsFromUserDirs(withoutTrailingSlash(config) + "/user-dirs.dirs", home);
    return documents.empty() ? withoutTrailingSlash(home) + "/Documents" : documents;
}

EngineProvider::EngineProvider(EngineSettings settings)
    : settings_(std::make_shared<const EngineSettings>(std::move(settings))) {}

automation::Object EngineProvider::create(std::string_view progId) {
    if (!automation::sameName(progId, "Excel.Application")) throw Failure(failure_text::kCannotCreateObject);
    return makeApplicationObject(settings_);
}

namespace {

// The read-ahead of one application instance: its page source's.
class SourceReadAhead : public automation::ReadAhead {
public:
    explicit SourceReadAhead(std::shared_ptr<Application> app) : app_(std::move(app)) {}
    std::size_t depth() const override { return app_->pageSource().readAheadDepth(); }
    void expect(const std::vector<automation::UpcomingQuery>& upcoming) override {
        app_->pageSource().expect(upcoming);
    }
    void setWaitHook(std::function<void()> hook) override { app_->pageSource().setWaitHook(std::move(hook)); }
    void stop() override { app_->pageSource().stopReadAhead(); }

private:
    std::shared_ptr<Application> app_;
};

}  // namespace

std::shared_ptr<automation::ReadAhead> EngineProvider::readAhead(const automation::Object& application) {
    std::shared_ptr<Application> app = applicationOf(application);
    if (!app) return nullptr;
    return std::make_shared<SourceReadAhead>(std::move(app));
}

automation::Object EngineProvider::getRunning(std::string_view) {
    // Each import run owns the instance it creates; there is nothing to attach to.
    throw Failure(failure_text::kCannotCreateObject);
}

}  // namespace qf::engine
