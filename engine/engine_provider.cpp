#include "engine_provider.h"

#include "base/failure.h"
#include "base/program_info.h"
#include "engine_objects.h"
#include "platform/platform.h"

namespace qf::engine {

std::string userDocumentsFolder() { return platform::documentsFolder(); }

EngineProvider::EngineProvider(EngineSettings settings)
    : settings_(std::make_shared<const EngineSettings>(std::move(settings))) {}

automation::Object EngineProvider::create(std::string_view progId) {
    if (!automation::sameName(progId, kSpreadsheetProgId)) throw Failure(failure_text::kCannotCreateObject);
    return makeApplicationObject(settings_);
}

automation::Object EngineProvider::getRunning(std::string_view) {
    // Each import run owns the instance it creates; there is nothing to attach to.
    throw Failure(failure_text::kCannotCreateObject);
}

}  // namespace qf::engine
