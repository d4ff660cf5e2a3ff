#pragma once
// The engine's automation objects: Application, Workbooks, Workbook, Sheets,
// Worksheet, Range, QueryTables and QueryTable, as late-bound views on the
// workbook model. Every object keeps its application instance alive; the
// instance goes when the last reference to any of its objects goes.

#include <memory>

#include "engine_provider.h"
#include "automation/object.h"

namespace qf::engine {

class Application;

// A new, independent application instance.
automation::Object makeApplicationObject(std::shared_ptr<const EngineSettings> settings);

// The model behind an application object made by makeApplicationObject, or nullptr.
std::shared_ptr<Application> applicationOf(const automation::Object& object);

}  // namespace qf::engine
