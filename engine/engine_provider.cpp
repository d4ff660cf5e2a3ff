#include "engine_provider.h"

#include "base/failure.h"
#include "base/program_info.h"
#include "engine_objects.h"
#include "platform/platform.h"
#include "application.h"

namespace qf::engine {

std::string userDocumentsFolder() { return platform::documentsFolder(); }

EngineProvider::EngineProvider(EngineSettings settings)
    : settings_(std::make_shared<const EngineSettings>(std::move(settings))) {}

automation::Object EngineProvider::create(std::string_view progId) {
    if (!automation::sameName(progId, kSpreadsheetProgId)) throw Failure(failure_text::kCannotCreateObject);
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
