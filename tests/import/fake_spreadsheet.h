#pragma once
// A scripted spreadsheet application behind the automation interface, for the
// import tests. It keeps a small model (instances, workbooks, sheets, the pages
// placed at A1 of each sheet, newest on top) and records every call that
// reaches it, one line per call:
//
//     app1.wb1.Sheet1.QueryTables.add call(Connection:=String:URL;http://www.a.org,
//     Destination:=Object:app1.wb1.Sheet1!A1) app1.wb1.Sheet1.qt1.RefreshPeriod put(Integer:0) app1.Workbooks.<default>
//     get(Long:1)

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/object.h"

namespace qf::testing {

struct FakeSheet {
    std::string name;
    std::string label;
    std::vector<std::string> pages;  // connections refreshed at A1, newest first
    int queryTables = 0;
    std::string selected;  // the range selected on this sheet
    bool deleted = false;
};

struct FakeWorkbook {
    std::string label;
    std::vector<std::shared_ptr<FakeSheet>> sheets;
    std::shared_ptr<FakeSheet> active;
    int nextSheetNumber = 1;
    std::vector<std::string> sheetNames() const;
};

struct FakeApplication {
    std::string label;
    bool visible = false;
    bool displayAlerts = true;
    std::vector<std::shared_ptr<FakeWorkbook>> workbooks;
};

class FakeSpreadsheet : public automation::Provider {
public:
    // How a new workbook starts.
    int sheetsInNewWorkbook = 3;
    // Whether a page can be read (by its connection text); a refresh of one that
    // cannot raises a failure.
    std::function<bool(const std::string& connection)> pageLoads = [](const std::string&) { return true; };
    // The default member of the running instance; none means no instance runs.
    std::optional<std::string> runningInstanceName;
    // Members that fail, as "Type.member" ("QueryTables.add", "Application.create",
    // "QueryTable.RefreshPeriod"), with the description they fail with.
    std::map<std::string, std::string> failures;

    automation::Object create(std::string_view progId) override;
    automation::Object getRunning(std::string_view progId) override;

    // A workbook of a new instance, made without recording anything.
    automation::Object newWorkbook();

    std::vector<std::shared_ptr<FakeApplication>> applications;
    std::vector<std::string> log;
    // The log without the calls whose line contains any of the given texts.
    std::vector<std::string> logWithout(std::initializer_list<std::string_view> texts) const;
    std::vector<std::string> linesContaining(std::string_view text) const;
    // True when every object the fake handed out has been released.
    bool allReleased() const;

    // Used by the fake's objects.
    automation::Object handOut(std::shared_ptr<automation::Dispatch> object);
    void record(const std::string& label, std::string_view member, automation::CallKind kind,
                std::span<const automation::Arg> args);
    void failIfScripted(const std::string& type, std::string_view member) const;

private:
    std::vector<std::weak_ptr<automation::Dispatch>> handedOut_;
};

// The log line's form of a variant: "Type:value" with the automation type's
// name ("Boolean:True", "Long:1"), objects by their label.
std::string describeValue(const automation::Variant& value);

}  // namespace qf::testing
