#pragma once
// A shown URL list with its commands, driven by scripted window services.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/trap.h"
#include "support/scripted_services.h"
#include "urllist/url_list_commands.h"

namespace qf::testing {

inline std::string location(const char* handler) {
    return std::string("in QuillfenApp2021/08/31.Form1.") + handler + " ";
}

// The window's handlers, each command's.
inline ListCommandLocations windowLocations() {
    return {location("PushButton4_Click"),  location("PushButton13_Click"), location("PushButton3_Click"),
            location("PushButton11_Click"), location("PushButton8_Click"),  location("PushButton17_Click"),
            location("PushButton1_Click"),  location("PushButton5_Click"),  location("PushButton6_Click")};
}

class ListFixture : public ::testing::Test {
protected:
    ListFixture() {
        auto* layout = new QVBoxLayout(&window);
        other = new QLineEdit(&window);
        view = new UrlListView(&window);
        layout->addWidget(other);
        layout->addWidget(view);
        view->list().addColumn(QStringLiteral("URL(s)"));
        window.resize(460, 300);
        window.show();
        window.activateWindow();
        other->setFocus();
        QApplication::processEvents();
        useProgramFolder("/nonexistent-program-folder");
    }

    void useProgramFolder(const std::string& folder) {
        commands.reset();
        commands = std::make_unique<UrlListCommands>(*view, ui, folder, windowLocations());
    }

    UrlListModel& list() { return view->list(); }

    void fill(const std::vector<std::string>& texts) {
        for (const auto& t : texts) list().appendUtf8(t);
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (int p = 1; p <= view->list().count(); ++p) out.emplace_back(view->list().utf8(p));
        return out;
    }

    // The error report box's text for a failure at one statement.
    static std::string report(const std::string& description, const char* handler, int line) {
        return errorReportText(description, location(handler), line);
    }

    QWidget window;
    QLineEdit* other = nullptr;
    UrlListView* view = nullptr;
    ScriptedServices ui;
    std::unique_ptr<UrlListCommands> commands;
};

}  // namespace qf::testing
